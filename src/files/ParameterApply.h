// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/RegisterRules.h"
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
    /// Identity registers (0x12, 0x15) not sent: the controller keeps its own.
    std::vector<int> kept;
    /// Entries the rule book refused (not sent), with the reasons.
    std::vector<RegisterRefusal> refused;

    /// "kept the controller's 0x12 Address IP, 0x15 Name; refused 0x2A ..." or empty.
    QString summary() const;
};

/// How a file is sent to a connected controller.
struct ApplyOptions
{
    /// Also send 0x12 (IP or I2C address) and 0x15 (name) when the file's value
    /// differs from the controller's (or the controller's is not known).
    bool withIdentity = false;
    /// Skip the rule book (never the register sizes).
    bool force = false;
    /// Send nothing when the rule book refuses any entry (tarvine-cli).
    bool allOrNothing = false;
};

/// The registers that name a controller on its network: 0x12 and 0x15.
bool isIdentityRegister(int address);

namespace ParameterApply {

/// Applies the entries of a file that was read completely. With \a connected
/// each Writable register gets its WriteValue and a write request (the sender
/// sends them in address order); otherwise the values are collected in a view
/// packet (function 0x23, transaction 1) and handed to DataReceived as if the
/// controller had answered. \a selected, when given, limits the entries.
///
/// Sending keeps the receiving controller's identity (ApplyOptions) and asks
/// the rule book: a refused entry is not sent and is named in the result.
ApplyResult apply(QLMCSession &session, const ParameterFileContent &content, bool connected,
                  const std::function<bool(const FileEntry &)> &selected = {},
                  const ApplyOptions &options = {});

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
    /// 0x12 or 0x15 whose file value is not the controller's: it would re-address
    /// or rename the controller, so it is not ticked by default.
    bool identity = false;
    bool zeroed = false;        ///< 0x61..0x64 zeroed by an old file
    bool readable = false;      ///< false: the device value is not known
    /// The device's value arrived (after the comparison's mark): only then is
    /// it shown and compared.
    bool received = false;

    /// The notes the comparison shows for the row, joined by "; ".
    QString notes() const;
    /// Ticked by default: different and sent.
    bool tickedByDefault() const { return different && writable && !command && !identity; }
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
