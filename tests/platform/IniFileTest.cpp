// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {
IniFile fromText(const char *text)
{
    IniFile ini;
    ini.loadFromBytes(QByteArray(text));
    return ini;
}

const QString Missing = QStringLiteral("<default>");
} // namespace

TEST(IniFile, ReadsTheWindowsTestVectors)
{
    IniFile a = fromText("[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\n[section2]\r\n");
    EXPECT_EQ(a.readString("section1", "NaMe1", Missing), "val1");
    EXPECT_EQ(a.readString("section1", "name2", Missing), "val2");
    EXPECT_EQ(a.readString("section1", "name3", Missing), Missing);
    EXPECT_TRUE(a.sectionExists("SECTION1"));
    EXPECT_FALSE(a.sectionExists("section2"));
    EXPECT_FALSE(a.sectionExists("section3"));

    EXPECT_EQ(fromText("[ section1 ]\r\nk=v\r\n").readString("section1", "k", Missing), "v");
    EXPECT_EQ(fromText("[sec]whoops]\r\nk=v\r\n").readString("sec", "k", Missing), "v");
    EXPECT_EQ(fromText("[sec   \r\nk=v\r\n").readString("sec", "k", Missing), "v");
    EXPECT_EQ(fromText("k=v\r\n[S]\r\nk2=v2\r\n").readString("", "k", Missing), Missing);
    EXPECT_EQ(fromText("[]\r\nk=v\r\n").readString("", "k", Missing), "v");

    IniFile dup = fromText("[S]\r\nk=1\r\nk=2\r\n[S]\r\nk=3\r\nj=4\r\n");
    EXPECT_EQ(dup.readString("S", "k", Missing), "1");
    EXPECT_EQ(dup.readString("S", "j", Missing), Missing);

    IniFile comments = fromText("[S]\r\n  ;c=1\r\nd=;x\r\n#e=2\r\n");
    EXPECT_EQ(comments.readString("S", ";c", Missing), Missing);
    EXPECT_EQ(comments.readString("S", "d", Missing), ";x");
    EXPECT_EQ(comments.readString("S", "#e", Missing), "2");

    IniFile ints = fromText("[S]\r\nh=0x1F\r\nd=$1F\r\ng=12abc\r\n");
    EXPECT_EQ(ints.readInteger("S", "h", -7), 31);
    EXPECT_EQ(ints.readInteger("S", "d", -7), 31);
    EXPECT_EQ(ints.readInteger("S", "g", -7), -7);
}

TEST(IniFile, LineEndsAndTrimming)
{
    for (const char *text :
         {"[S]\nk= v w \t\nj=2\n", "[S]\rk= v w \t\rj=2\r", "\t[S]  \r\n  k\t =\t v w\r\nj=2"}) {
        IniFile ini = fromText(text);
        EXPECT_EQ(ini.readString("S", "k", Missing), "v w") << text;
        EXPECT_EQ(ini.readInteger("S", "j", 0), 2) << text;
    }
    // An empty line between CR and LF pairs does not hide anything.
    EXPECT_EQ(fromText("[S]\r\r\n\n\nk=v").readString("S", "k", Missing), "v");
}

TEST(IniFile, ValuesKeepTheirTextApartFromOneQuotePair)
{
    IniFile ini = fromText("[S]\r\na=\" a \"\r\nb=\"x'\r\nc='y'\r\nd=\"\r\ne=\"\"\r\n"
                           "f=k=v ;x\r\ng=MiXeD\r\nh=''z''\r\n");
    EXPECT_EQ(ini.readString("S", "a", Missing), " a ");
    EXPECT_EQ(ini.readString("S", "b", Missing), "\"x'");
    EXPECT_EQ(ini.readString("S", "c", Missing), "y");
    EXPECT_EQ(ini.readString("S", "d", Missing), "\"");
    EXPECT_EQ(ini.readString("S", "e", Missing), "");
    EXPECT_EQ(ini.readString("S", "f", Missing), "k=v ;x");
    EXPECT_EQ(ini.readString("S", "g", Missing), "MiXeD");
    EXPECT_EQ(ini.readString("S", "h", Missing), "'z'");
}

TEST(IniFile, ValuesReadAreCutAt2047Characters)
{
    const QByteArray longValue(5000, 'v');
    IniFile ini;
    ini.loadFromBytes("[S]\r\nk=" + longValue + "\r\n");
    EXPECT_EQ(ini.readString("S", "k", Missing).size(), 2047);
}

TEST(IniFile, IntegerConversion)
{
    struct Case
    {
        const char *text;
        std::optional<int32_t> value;
    };
    const Case cases[] = {
        {"51", 51},
        {"0x33", 51},
        {"0X33", 51},
        {"$33", 51},
        {"-12", -12},
        {"+12", 12},
        {"-$10", -16},
        {"  7", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"0xFFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"0x100000000", std::nullopt},
        {"", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"-", std::nullopt},
        {"12abc", std::nullopt},
        {"1 ", std::nullopt},
        {"1.5", std::nullopt},
        {"0x1G", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(IniFile::parseInteger(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(IniFile, FloatConversionUsesTheGivenSeparator)
{
    IniFile ini = fromText("[S]\r\na=2.5\r\nb=2,5\r\nc= -1.25E+2 \r\nd=\r\ne=1,000.5\r\n"
                           "f=.5\r\ng=5.\r\nh=1e\r\ni=nan\r\nj=1e999\r\n");
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "a", -1, '.'), 2.5);
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "a", -1, ','), -1);
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "b", -1, ','), 2.5);
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "c", -1, '.'), -125);
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "d", -1, '.'), -1);
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "e", -1, '.'), -1);
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "f", -1, '.'), 0.5);
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "g", -1, '.'), 5);
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "h", -1, '.'), -1);
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "i", -1, '.'), -1);
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "j", -1, '.'), -1);
    EXPECT_DOUBLE_EQ(ini.readFloat("S", "missing", 3.5, '.'), 3.5);
}

TEST(IniFile, WritesAFreshFileByteForByte)
{
    IniFile ini;
    ini.writeString("File Header", "File version", "3.00");
    ini.writeString("File Header", "Software version", "3.18");
    ini.writeString("Register 0", "Name", "Type");
    EXPECT_EQ(ini.toBytes(), QByteArray("[File Header]\r\nFile version=3.00\r\n"
                                        "Software version=3.18\r\n[Register 0]\r\nName=Type\r\n"));
}

TEST(IniFile, WritesInPlaceAfterTheLastKeyAndAtTheEnd)
{
    IniFile ini = fromText("; top\r\n[A]\r\nx = 1\r\n\r\n; note\r\n[B]\r\ny=2\r\n[a]\r\nx=9\r\n");
    ini.writeString("a", "X", " new ");
    ini.writeString("A", "z", "3");
    ini.writeString("C", "w", "4");
    ini.writeString("B", "y", "5");
    EXPECT_EQ(ini.toBytes(), QByteArray("; top\r\n[A]\r\nx= new \r\nz=3\r\n\r\n; note\r\n[B]\r\n"
                                        "y=5\r\n[a]\r\nx=9\r\n[C]\r\nw=4\r\n"));
    EXPECT_EQ(ini.readString("A", "x", Missing), "new");

    // A header without keys takes the new key right after it.
    IniFile empty = fromText("[E]\r\n\r\n[F]\r\nf=1");
    empty.writeInteger("E", "e", -3);
    EXPECT_EQ(empty.toBytes(), QByteArray("[E]\r\ne=-3\r\n\r\n[F]\r\nf=1\r\n"));
}

TEST(IniFile, RefusesWritesThatWouldNotReadBack)
{
    IniFile ini;
    EXPECT_FALSE(ini.writeString("S", "k", "a\r\n[T]\r\nx=1"));
    EXPECT_FALSE(ini.writeString("S\n", "k", "v"));
    EXPECT_FALSE(ini.writeString("S]x", "k", "v"));
    EXPECT_FALSE(ini.writeString("S", "k=j", "v"));
    EXPECT_FALSE(ini.writeString("S", ";k", "v"));
    EXPECT_FALSE(ini.writeString("S", "[k", "v"));
    EXPECT_FALSE(ini.writeString("S", " ", "v"));
    EXPECT_TRUE(ini.toBytes().isEmpty());
}

TEST(IniFile, WindowsFileWithCp1252NamesRoundTripsExactly)
{
    // As the Windows tool writes it: CR LF, no BOM, "Préréglage" with E9 bytes.
    const QByteArray bytes(
        "[File Header]\r\nFile version=3.00\r\nComment=Pr\xE9r\xE9glage \x80"
        "5 \x81\x8D\x8F\x90\x9D\r\n[Register 51]\r\nName=Kp\r\nValue=0x00028000\r\n");
    IniFile ini;
    ini.loadFromBytes(bytes);
    EXPECT_EQ(ini.encoding(), IniFile::Encoding::Ansi);
    EXPECT_TRUE(ini.readString("File Header", "Comment", Missing)
                    .startsWith(QString::fromUtf8("Préréglage €5 ")));
    EXPECT_EQ(ini.readInteger("Register 51", "Value", 0), 163840);
    EXPECT_EQ(ini.toBytes(), bytes);

    ini.writeString("File Header", "Comment", QString::fromUtf8("Réglage ∑"));
    EXPECT_TRUE(ini.toBytes().contains("Comment=R\xE9glage ?\r\n"));
    EXPECT_EQ(ini.sectionNames(), QStringList({"File Header", "Register 51"}));
    EXPECT_EQ(ini.keys("register 51"), QStringList({"Name", "Value"}));
}

TEST(IniFile, Utf16FilesAreReadAndKeepTheirEncoding)
{
    const QString text = QString::fromUtf8("[Sé]\r\nk=Ω\r\n");
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    IniFile ini;
    ini.loadFromBytes(bytes);
    EXPECT_EQ(ini.encoding(), IniFile::Encoding::Utf16Le);
    EXPECT_EQ(ini.readString(QString::fromUtf8("SÉ"), "K", Missing), QString::fromUtf8("Ω"));
    EXPECT_EQ(ini.toBytes(), bytes);
    // An odd trailing byte is dropped, not read past.
    ini.loadFromBytes(bytes + 'x');
    EXPECT_EQ(ini.readString(QString::fromUtf8("Sé"), "k", Missing), QString::fromUtf8("Ω"));
}

TEST(IniFile, Utf8BomSticksToTheFirstLine)
{
    IniFile ini = fromText("\xEF\xBB\xBF[S]\r\nk=v\r\n[T]\r\nj=w\r\n");
    EXPECT_EQ(ini.readString("S", "k", Missing), Missing);
    EXPECT_EQ(ini.readString("T", "j", Missing), "w");
}

TEST(IniFile, HostileInputDoesNotBreakIt)
{
    static const char withNuls[] = "[S\0]\r\nk\0=v\0w\r\n";
    const QByteArray samples[] = {
        QByteArray("["),
        QByteArray("[S]\r\nk=v"),
        QByteArray(withNuls, sizeof withNuls - 1),
        QByteArray(1 << 20, '['),
        QByteArray("[S]\r\n") + QByteArray(1 << 20, '='),
        QByteArray("\xFF"),
        QByteArray("\xFF\xFE"),
        QByteArray("\r\n\r\n\n\r"),
        QByteArray(),
    };
    for (const QByteArray &bytes : samples) {
        IniFile ini;
        ini.loadFromBytes(bytes);
        ini.readString("S", "k", Missing);
        ini.sectionNames();
        ini.writeString("S", "k", "v");
        EXPECT_EQ(ini.readString("S", "k", Missing), "v");
        IniFile again;
        again.loadFromBytes(ini.toBytes());
        EXPECT_EQ(again.readString("S", "k", Missing), "v");
    }
    EXPECT_EQ(fromText("[S]\r\nk=v").readString("s", "K", Missing), "v");
}

TEST(IniFile, SavesThroughATemporaryFileAndLoadsBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("params.qmc");
    IniFile missing;
    EXPECT_FALSE(missing.load(path));

    IniFile ini;
    ini.writeString("File Header", "File version", "3.00");
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"params.qmc"});
    IniFile loaded;
    ASSERT_TRUE(loaded.load(path));
    EXPECT_EQ(loaded.readString("file header", "file version", Missing), "3.00");

    EXPECT_FALSE(ini.save(dir.filePath("no/such/folder/x.ini")));

    QFile big(dir.filePath("big.ini"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.resize(IniFile::MaxFileSize + 1);
    big.close();
    EXPECT_FALSE(loaded.load(big.fileName()));
    EXPECT_TRUE(loaded.sectionNames().isEmpty());
}

TEST(IniFile, DeleteKeyAndEraseSection)
{
    IniFile ini = fromText("[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
    ini.deleteKey("a", "X");
    ini.eraseSection("b");
    EXPECT_EQ(ini.toBytes(), QByteArray("[A]\r\ny=2\r\n"));
}
