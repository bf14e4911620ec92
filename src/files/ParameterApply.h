#pragma once

#include "files/ParameterFile.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QLMCSession;

/// What applying a file did.
struct ApplyResult
{
    QStringList names;          ///< table names of the file's registers (MemoRegList)
    std::vector<int> requested; ///< registers given a write request, file order
    int viewBytes = 0;          ///< bytes handed to the decoder (offline)
};

namespace ParameterApply {

/// Applies the entries of a file that was read completely. With \a connected
/// each Writable register gets its WriteValue and a write request (the sender
/// sends them in address order); otherwise the values are collected in a view
/// packet (function 0x23, transaction 1) and handed to DataReceived as if the
/// controller had answered. \a selected, when given, limits the entries.
ApplyResult apply(QLMCSession &session, const ParameterFileContent &content, bool connected,
                  const std::function<bool(const FileEntry &)> &selected = {});

} // namespace ParameterApply

/// One row of the comparison of a file with the device.
struct CompareRow
{
    int address = 0;
    QString name;
    QString deviceText; ///< typed value, as the device holds it
    QString fileText;
    QString deviceHex;
    QString fileHex;
    bool different = false;
    bool writable = false; ///< false: not sent
    bool command = false;  ///< carried out when sent
    bool addressChange = false; ///< 0x12: the connection will be lost
    bool zeroed = false;        ///< 0x61..0x64 zeroed by an old file
    bool readable = false;      ///< false: the device value is not known
    /// The device's value arrived (after the comparison's mark): only then is
    /// it shown and compared.
    bool received = false;

    /// The notes the comparison shows for the row, joined by "; ".
    QString notes() const;
    /// Ticked by default: different and sent.
    bool tickedByDefault() const { return different && writable && !command; }
};

namespace ParameterCompare {

/// Compares every entry of \a content with the values of the session's image
/// that were received in answers numbered above \a receivedAfter
/// (QLMCSession::answerSequence); a value not received is not compared.
std::vector<CompareRow> compare(QLMCSession &session, const ParameterFileContent &content,
                                uint64_t receivedAfter = 0);

/// "0x33 Kp 1.00000 -> 2.50000" (device -> file).
QString differenceLine(const CompareRow &row);

} // namespace ParameterCompare
