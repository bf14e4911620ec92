// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

/// An INI profile file read and written with the Windows profile rules, so that
/// files of the Windows tool read here as they read there and the other way round.
///
/// Reading: a file starting with FF FE is UTF-16LE, anything else Windows-1252
/// (a UTF-8 BOM is not recognised); lines end at CR, LF or CR LF and are trimmed of
/// spaces and tabs; "[name]" opens a section (to the first ']' or the line end);
/// ';' starts a comment line; a key line splits at its first '='; names match
/// without regard to case; of duplicate sections and keys the first wins; one outer
/// pair of matching quotes is stripped from a value; values read are at most 2047
/// characters. Lines before the first section cannot be read.
///
/// Writing changes the text in memory: an existing key is replaced in place, a new
/// key goes after the last key of its section, a new section is appended at the
/// end. Saved files have CR LF line ends and keep their encoding (new files are
/// Windows-1252 without BOM).
class IniFile
{
public:
    enum class Encoding { Ansi, Utf16Le };

    /// Longest value returned by a read, in characters.
    static constexpr qsizetype MaxValueLength = 2047;
    /// Files larger than this are refused by load().
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    IniFile() = default;

    /// Replaces the content with the file text \a bytes.
    void loadFromBytes(QByteArrayView bytes);
    /// Reads the file at \a path. A missing, unreadable or oversized file gives an
    /// empty content and false.
    bool load(const QString &path);
    /// The file text as it would be saved.
    QByteArray toBytes() const;
    /// Writes the file text to \a path through a temporary file that replaces the
    /// target only once complete. False when the file could not be written.
    bool save(const QString &path) const;
    /// save() with the reason of a failure in \a error (when given).
    bool save(const QString &path, QString *error) const;

    Encoding encoding() const { return m_encoding; }
    void setEncoding(Encoding encoding) { m_encoding = encoding; }

    /// True when the first section named \a section has at least one key.
    bool sectionExists(const QString &section) const;
    bool valueExists(const QString &section, const QString &key) const;
    /// Every section name in file order, duplicates included.
    QStringList sectionNames() const;
    /// The keys of the first section named \a section in file order, duplicates included.
    QStringList keys(const QString &section) const;

    /// The value of \a key, or \a defaultValue when there is none.
    QString readString(const QString &section, const QString &key,
                       const QString &defaultValue) const;
    /// The value as a 32-bit integer (decimal, or hexadecimal with "0x", "$" or "x"),
    /// or \a defaultValue when missing or not a valid number.
    int32_t readInteger(const QString &section, const QString &key, int32_t defaultValue) const;
    /// The value as a number with \a decimalSeparator; \a defaultValue when missing,
    /// empty or not a valid number.
    double readFloat(const QString &section, const QString &key, double defaultValue,
                     QChar decimalSeparator) const;
    /// readFloat() with the system locale's decimal separator.
    double readFloat(const QString &section, const QString &key, double defaultValue) const;
    /// readInteger() != 0.
    bool readBool(const QString &section, const QString &key, bool defaultValue) const;

    /// Sets \a key to \a value, written exactly as given. Returns false (and changes
    /// nothing) for text the file could not read back: a line break anywhere, '=' in
    /// the key, ']' in the section name, or an empty key.
    bool writeString(const QString &section, const QString &key, const QString &value);
    bool writeInteger(const QString &section, const QString &key, int32_t value);
    bool writeBool(const QString &section, const QString &key, bool value);
    /// Removes the first \a key of the first section named \a section.
    void deleteKey(const QString &section, const QString &key);
    /// Removes the first section named \a section with all its lines.
    void eraseSection(const QString &section);

    /// The integer conversion of readInteger(), for one value text.
    static std::optional<int32_t> parseInteger(QStringView text);
    /// The float conversion of readFloat(), for one value text.
    static std::optional<double> parseFloat(QStringView text, QChar decimalSeparator);
    /// The system locale's decimal separator.
    static QChar systemDecimalSeparator();

private:
    enum class Kind { Blank, Comment, Section, Key, Other };
    struct Line
    {
        QString text; ///< the line as in the file, without its line end
        Kind kind = Kind::Blank;
        QString folded; ///< section or key name, case-folded
        QString name;   ///< key name as written
        QString value;  ///< key value, quotes stripped
    };

    static Line parseLine(const QString &text);
    qsizetype findSection(const QString &section) const;
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(const QString &section, const QString &key) const;

    QList<Line> m_lines;
    Encoding m_encoding = Encoding::Ansi;
};
