// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/IniFile.h"

#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"

#include <QFile>
#include <QLocale>

#include <charconv>
#include <cstring>
#include <limits>
#include <string>

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QStringView trimmed(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QStringView rightTrimmed(QStringView text)
{
    qsizetype end = text.size();
    while (end > 0 && isBlank(text[end - 1]))
        --end;
    return text.left(end);
}

QStringView leftTrimmed(QStringView text)
{
    qsizetype begin = 0;
    while (begin < text.size() && isBlank(text[begin]))
        ++begin;
    return text.mid(begin);
}

QString fold(QStringView name)
{
    return name.toString().toCaseFolded();
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

} // namespace

IniFile::Line IniFile::parseLine(const QString &text)
{
    Line line;
    line.text = text;
    const QStringView content = trimmed(text);
    if (content.isEmpty())
        return line;
    if (content[0] == QLatin1Char('[')) {
        line.kind = Kind::Section;
        QStringView name = content.mid(1);
        const qsizetype close = name.indexOf(QLatin1Char(']'));
        if (close >= 0)
            name = name.left(close);
        line.folded = fold(trimmed(name));
        return line;
    }
    if (content[0] == QLatin1Char(';')) {
        line.kind = Kind::Comment;
        return line;
    }
    const qsizetype equals = content.indexOf(QLatin1Char('='));
    if (equals < 0) {
        line.kind = Kind::Other;
        return line;
    }
    line.kind = Kind::Key;
    line.name = rightTrimmed(content.left(equals)).toString();
    line.folded = line.name.toCaseFolded();
    QStringView value = leftTrimmed(content.mid(equals + 1));
    if (value.size() >= 2 && (value[0] == QLatin1Char('"') || value[0] == QLatin1Char('\''))
        && value.back() == value[0])
        value = value.mid(1, value.size() - 2);
    line.value = value.toString();
    return line;
}

void IniFile::loadFromBytes(QByteArrayView bytes)
{
    QString text;
    if (bytes.size() >= 2 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xFE) {
        m_encoding = Encoding::Utf16Le;
        const qsizetype units = (bytes.size() - 2) / 2;
        text.resize(units);
        for (qsizetype i = 0; i < units; ++i)
            text[i] = QChar(char16_t(uchar(bytes[2 + 2 * i]) | (uchar(bytes[3 + 2 * i]) << 8)));
    } else {
        m_encoding = Encoding::Ansi;
        text = Cp1252::toUnicode(bytes);
    }

    m_lines.clear();
    qsizetype start = 0;
    const qsizetype size = text.size();
    while (start < size) {
        qsizetype end = start;
        while (end < size && text[end] != QLatin1Char('\r') && text[end] != QLatin1Char('\n'))
            ++end;
        m_lines.append(parseLine(text.mid(start, end - start)));
        if (end < size && text[end] == QLatin1Char('\r') && end + 1 < size
            && text[end + 1] == QLatin1Char('\n'))
            ++end;
        start = end + 1;
    }
}

bool IniFile::load(const QString &path)
{
    m_lines.clear();
    m_encoding = Encoding::Ansi;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size > MaxFileSize)
        return false;
    // The size of a special file may be 0: read up to the limit and one byte more.
    const QByteArray bytes = file.read(MaxFileSize + 1);
    if (bytes.size() > MaxFileSize || file.error() != QFileDevice::NoError)
        return false;
    loadFromBytes(bytes);
    return true;
}

QByteArray IniFile::toBytes() const
{
    QString text;
    for (const Line &line : m_lines) {
        text += line.text;
        text += QLatin1String("\r\n");
    }
    if (m_encoding == Encoding::Ansi)
        return Cp1252::fromUnicode(text);
    QByteArray bytes;
    bytes.reserve(2 + text.size() * 2);
    bytes.append(char(0xFF)).append(char(0xFE));
    for (QChar c : std::as_const(text))
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

bool IniFile::save(const QString &path) const
{
    return save(path, nullptr);
}

bool IniFile::save(const QString &path, QString *error) const
{
    return writeFileAtomically(path, toBytes(), error);
}

qsizetype IniFile::findSection(const QString &section) const
{
    const QString wanted = fold(trimmed(section));
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Section && m_lines[i].folded == wanted)
            return i;
    }
    return -1;
}

qsizetype IniFile::sectionEnd(qsizetype header) const
{
    qsizetype i = header + 1;
    while (i < m_lines.size() && m_lines[i].kind != Kind::Section)
        ++i;
    return i;
}

qsizetype IniFile::findKey(const QString &section, const QString &key) const
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return -1;
    const QString wanted = fold(trimmed(key));
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == Kind::Key && m_lines[i].folded == wanted)
            return i;
    }
    return -1;
}

bool IniFile::sectionExists(const QString &section) const
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return false;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == Kind::Key)
            return true;
    }
    return false;
}

bool IniFile::valueExists(const QString &section, const QString &key) const
{
    return findKey(section, key) >= 0;
}

QStringList IniFile::sectionNames() const
{
    QStringList names;
    for (const Line &line : m_lines) {
        if (line.kind != Kind::Section)
            continue;
        QStringView name = trimmed(line.text).mid(1);
        const qsizetype close = name.indexOf(QLatin1Char(']'));
        if (close >= 0)
            name = name.left(close);
        names.append(trimmed(name).toString());
    }
    return names;
}

QStringList IniFile::keys(const QString &section) const
{
    QStringList names;
    const qsizetype header = findSection(section);
    if (header < 0)
        return names;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == Kind::Key)
            names.append(m_lines[i].name);
    }
    return names;
}

QString IniFile::readString(const QString &section, const QString &key,
                            const QString &defaultValue) const
{
    const qsizetype index = findKey(section, key);
    if (index < 0)
        return defaultValue;
    return m_lines[index].value.left(MaxValueLength);
}

int32_t IniFile::readInteger(const QString &section, const QString &key, int32_t defaultValue) const
{
    const qsizetype index = findKey(section, key);
    if (index < 0)
        return defaultValue;
    return parseInteger(QStringView(m_lines[index].value).left(MaxValueLength))
        .value_or(defaultValue);
}

double IniFile::readFloat(const QString &section, const QString &key, double defaultValue,
                          QChar decimalSeparator) const
{
    const qsizetype index = findKey(section, key);
    if (index < 0)
        return defaultValue;
    return parseFloat(QStringView(m_lines[index].value).left(MaxValueLength), decimalSeparator)
        .value_or(defaultValue);
}

double IniFile::readFloat(const QString &section, const QString &key, double defaultValue) const
{
    return readFloat(section, key, defaultValue, systemDecimalSeparator());
}

bool IniFile::readBool(const QString &section, const QString &key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::optional<int32_t> IniFile::parseInteger(QStringView text)
{
    // "0x1F" is turned into "$1F" before the conversion, which skips leading
    // spaces, takes one sign and then a "$", "x", "0x" prefix or decimal digits.
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < text.size()
        && (text[i] == QLatin1Char('$') || text[i] == QLatin1Char('x')
            || text[i] == QLatin1Char('X'))) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == QLatin1Char('0')
               && (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        hex = true;
        i += 2;
    }
    if (i >= text.size())
        return std::nullopt;
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (hex) {
            const int digit = hexDigit(text[i]);
            if (digit < 0)
                return std::nullopt;
            magnitude = magnitude * 16 + uint64_t(digit);
            // Hexadecimal takes the full 32 bits: $FFFFFFFF reads -1.
            if (magnitude > 0xFFFFFFFFull)
                return std::nullopt;
        } else {
            if (!isDigit(text[i]))
                return std::nullopt;
            magnitude = magnitude * 10 + uint64_t(text[i].unicode() - '0');
            if (magnitude > 0x80000000ull)
                return std::nullopt;
        }
    }
    if (hex) {
        const uint32_t bits = uint32_t(magnitude);
        return int32_t(negative ? 0u - bits : bits);
    }
    if (!negative && magnitude > 0x7FFFFFFFull)
        return std::nullopt;
    return negative ? int32_t(-int64_t(magnitude)) : int32_t(magnitude);
}

std::optional<double> IniFile::parseFloat(QStringView text, QChar decimalSeparator)
{
    // Blanks around, a sign, digits with at most one decimal separator, an optional
    // exponent; nothing else (no thousands separators, no "INF"/"NAN").
    std::string normalised;
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size && isBlank(text[i]))
        ++i;
    if (i < size && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        if (text[i] == QLatin1Char('-'))
            normalised += '-';
        ++i;
    }
    int digits = 0;
    while (i < size && isDigit(text[i])) {
        normalised += char(text[i++].unicode());
        ++digits;
    }
    if (i < size && text[i] == decimalSeparator) {
        normalised += '.';
        ++i;
        while (i < size && isDigit(text[i])) {
            normalised += char(text[i++].unicode());
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < size && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        normalised += 'e';
        ++i;
        if (i < size && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
            normalised += char(text[i++].unicode());
        int exponentDigits = 0;
        while (i < size && isDigit(text[i])) {
            normalised += char(text[i++].unicode());
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return std::nullopt;
    }
    while (i < size && isBlank(text[i]))
        ++i;
    if (i != size)
        return std::nullopt;
    double value = 0;
    const auto [end, error] =
        std::from_chars(normalised.data(), normalised.data() + normalised.size(), value);
    if (error != std::errc() || end != normalised.data() + normalised.size())
        return std::nullopt;
    return value;
}

QChar IniFile::systemDecimalSeparator()
{
    const QString separator = QLocale::system().decimalPoint();
    return separator.isEmpty() ? QLatin1Char('.') : separator.at(0);
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    const auto hasLineBreak = [](QStringView text) {
        return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    };
    const QString sectionName = trimmed(section).toString();
    const QString keyName = trimmed(key).toString();
    if (hasLineBreak(sectionName) || hasLineBreak(keyName) || hasLineBreak(value))
        return false;
    // Refuse names that would not read back as this section and key.
    const Line header = parseLine(QLatin1Char('[') + sectionName + QLatin1Char(']'));
    const Line entry = parseLine(keyName + QLatin1Char('=') + value);
    if (sectionName.contains(QLatin1Char(']')) || entry.kind != Kind::Key || entry.name != keyName
        || keyName.isEmpty())
        return false;

    const qsizetype existing = findKey(sectionName, keyName);
    if (existing >= 0) {
        m_lines[existing] = parseLine(m_lines[existing].name + QLatin1Char('=') + value);
        return true;
    }
    const qsizetype headerIndex = findSection(sectionName);
    if (headerIndex < 0) {
        m_lines.append(header);
        m_lines.append(entry);
        return true;
    }
    qsizetype insertAt = headerIndex + 1;
    const qsizetype end = sectionEnd(headerIndex);
    for (qsizetype i = headerIndex + 1; i < end; ++i) {
        if (m_lines[i].kind == Kind::Key)
            insertAt = i + 1;
    }
    m_lines.insert(insertAt, entry);
    return true;
}

bool IniFile::writeInteger(const QString &section, const QString &key, int32_t value)
{
    return writeString(section, key, QString::number(value));
}

bool IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    return writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::deleteKey(const QString &section, const QString &key)
{
    const qsizetype index = findKey(section, key);
    if (index >= 0)
        m_lines.removeAt(index);
}

void IniFile::eraseSection(const QString &section)
{
    const qsizetype header = findSection(section);
    if (header >= 0)
        m_lines.remove(header, sectionEnd(header) - header);
}
