// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/IniFile.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QLMCIPMotor;
class QLMCSession;

/// The seven register groups of a parameter file, in file order.
enum class SaveGroup { Communication, Global, Regulation, Homing, Limit1, Limit2, LoopsInput };
inline constexpr int SaveGroupCount = 7;

/// A set of ticked groups: bit i stands for SaveGroup(i).
struct SaveGroups
{
    uint8_t bits = 0x7F;

    static SaveGroups all() { return {0x7F}; }
    static SaveGroups none() { return {0}; }
    bool has(SaveGroup group) const { return bits & (1u << int(group)); }
    void set(SaveGroup group, bool on)
    {
        bits = on ? uint8_t(bits | (1u << int(group))) : uint8_t(bits & ~(1u << int(group)));
    }
};

/// One group as the save part of the window shows it.
struct SaveGroupInfo
{
    SaveGroup group;
    const char *checkBoxName; ///< objectName of its check box
    const char *caption;
    const char *label; ///< the explanatory label beside the check box
    const char *key;   ///< the command-line name (--groups)
    std::vector<int> registers;
};

/// The seven groups in file order.
const std::array<SaveGroupInfo, SaveGroupCount> &saveGroupTable();
/// The group whose command-line name is \a key (case ignored).
std::optional<SaveGroup> saveGroupFromKey(QStringView key);

/// One register as saved in a file: table name (0x12 as renamed), address, size, bytes.
struct SavedRegister
{
    int address = -1;
    std::string name;
    int size = 0;
    std::vector<uint8_t> value;
};

/// What the writer puts into a file, copied from the register image.
struct ParameterSnapshot
{
    bool typeReadable = false;
    std::array<uint8_t, 4> type{};
    bool versionReadable = false;
    std::array<uint8_t, 4> version{};
    std::vector<SavedRegister> registers;
};

namespace ParameterFile {

inline constexpr const char *Extension = ".qmc";
inline constexpr const char *DialogFilter = "Qmc files (*.qmc);;All files (*.*)";
/// Parameter files are small; larger files are refused before they are parsed.
inline constexpr qint64 MaxFileSize = 256 * 1024;
/// Capacity of the packet that collects the values of a file viewed offline.
inline constexpr int ViewCapacity = 1000;

/// The chosen name with ".qmc" appended unless it already ends in exactly ".qmc".
QString withExtension(const QString &name);

/// "0010.0003" from the bytes of register 0x00.
QString deviceTypeText(const std::array<uint8_t, 4> &type);
/// "2.1", or "-.-" when the first byte of register 0x01 is 0.
QString hardwareVersionText(const std::array<uint8_t, 4> &version);
/// "5.10" (third and fourth byte), or second and fourth when the first is 0.
QString firmwareVersionText(const std::array<uint8_t, 4> &version);
/// "0x" + every byte as two upper-case hexadecimal digits.
QString valueText(const std::vector<uint8_t> &bytes);
/// The register name written for 0x12 in \a comMode ("IP Address" / "I2C Address").
const char *addressRegisterName(int comMode);

/// The registers of the ticked groups that \a motor can read, in file order.
/// Call under the RegisterLock.
std::vector<int> savedAddresses(const QLMCIPMotor &motor, SaveGroups groups);

/// Copies what a file of \a groups holds from the session's image, in one hold
/// of the RegisterLock; renames 0x12 in the image for the connection mode.
ParameterSnapshot takeSnapshot(QLMCSession &session, SaveGroups groups);

/// The file: "File Header" and one "Register n" section per saved register.
IniFile compose(const ParameterSnapshot &snapshot);

/// Writes \a file to \a path atomically. False with the reason in \a error.
bool save(const IniFile &file, const QString &path, QString *error);

/// Value of a text of hexadecimal digits ("" gives 0); nullopt for any other
/// character.
std::optional<int> ParseHexPair(QStringView text);

} // namespace ParameterFile

/// One register entry read from a file, checked against the register table.
struct FileEntry
{
    int address = 0;
    int size = 0;
    std::vector<uint8_t> bytes; ///< wire order, exactly size bytes
    bool oldKey = false;        ///< "Data" / "DataWrite": bytes were stored reversed
    bool zeroed = false;        ///< not in the file: a file with Kp but no Kvff zeroes it
};

/// A parameter file read completely (or the reason it was refused).
struct ParameterFileContent
{
    /// 0 read completely, last section "Value"; 1 last section "Data"/"DataWrite"; 2 failed.
    int result = 0;
    QString error;        ///< the message for a failed read
    int failedRegister = -1;
    std::vector<FileEntry> entries; ///< file order, then the zeroed 0x61..0x64
    int viewBytes = 0;              ///< bytes the entries take in a view packet
    /// Register 0x00 of the controller the file was saved from ("Device type"
    /// of the header: type code in the high half, sub-type in the low half);
    /// nullopt when the header has none or it is not 8 hexadecimal digits.
    std::optional<uint32_t> deviceType;

    bool ok() const { return result != 2; }
};

namespace ParameterFile {

/// Reads every register section of \a file. Nothing is applied; a bad section
/// fails the whole file.
ParameterFileContent read(const IniFile &file);
/// Loads and reads \a path; a missing, unreadable or oversized file fails with
/// the reason.
ParameterFileContent readPath(const QString &path);
/// read() of raw file bytes.
ParameterFileContent readBytes(QByteArrayView bytes);

} // namespace ParameterFile
