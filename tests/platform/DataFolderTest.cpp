// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/DataFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {
const char *const Variables[] = {"USERPROFILE", "XDG_DATA_HOME", "HOME"};

// Sets or clears the variables that locate the data folder for one test and
// restores them after.
class FolderEnvironment
{
public:
    FolderEnvironment()
    {
        for (const char *name : Variables)
            m_saved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                               : std::nullopt);
    }
    ~FolderEnvironment()
    {
        for (size_t i = 0; i < std::size(Variables); ++i)
            set(Variables[i], m_saved[i] ? *m_saved[i] : QByteArray());
    }
    /// A null value unsets the variable.
    static void set(const char *name, const QByteArray &value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

private:
    std::vector<std::optional<QByteArray>> m_saved;
};

struct LocateCase
{
    const char *name;
    const char *profile;  ///< USERPROFILE; nullptr: unset
    const char *dataHome; ///< XDG_DATA_HOME; nullptr: unset
    const char *home;     ///< HOME; nullptr: unset
    const char *expected; ///< nullptr: nothing locates the folder
};

const LocateCase LocateCases[] = {
    {"XDG data home set", nullptr, "/data/xdg", "/home/user", "/data/xdg/tarvine"},
    {"XDG data home with trailing separators", nullptr, "/data/xdg//", "/home/user",
     "/data/xdg/tarvine"},
    {"XDG data home unset", nullptr, nullptr, "/home/user", "/home/user/.local/share/tarvine"},
    {"XDG data home empty", nullptr, "", "/home/user", "/home/user/.local/share/tarvine"},
    {"XDG data home relative is ignored", nullptr, "data", "/home/user",
     "/home/user/.local/share/tarvine"},
    {"XDG data home without a home", nullptr, "/data/xdg", nullptr, "/data/xdg/tarvine"},
    {"home with a trailing separator", nullptr, nullptr, "/home/user/",
     "/home/user/.local/share/tarvine"},
    {"home is the root", nullptr, nullptr, "/", "/.local/share/tarvine"},
    {"home relative", nullptr, nullptr, "user", nullptr},
    {"home empty", nullptr, nullptr, "", nullptr},
    {"nothing set", nullptr, nullptr, nullptr, nullptr},
    {"profile redirects", "/profile/user", "/data/xdg", "/home/user",
     "/profile/user/Quelmo_Data"},
    {"profile with a trailing separator", "/profile/user/", nullptr, nullptr,
     "/profile/user/Quelmo_Data"},
    {"profile empty is not set", "", "/data/xdg", "/home/user", "/data/xdg/tarvine"},
};
} // namespace

TEST(DataFolder, LocatesTheFolderFromTheEnvironment)
{
    FolderEnvironment environment;
    for (const LocateCase &c : LocateCases) {
        SCOPED_TRACE(c.name);
        FolderEnvironment::set("USERPROFILE", c.profile ? QByteArray(c.profile) : QByteArray());
        FolderEnvironment::set("XDG_DATA_HOME", c.dataHome ? QByteArray(c.dataHome) : QByteArray());
        FolderEnvironment::set("HOME", c.home ? QByteArray(c.home) : QByteArray());
        if (c.expected)
            EXPECT_EQ(DataFolder::locate(), QLatin1String(c.expected));
        else
            EXPECT_TRUE(DataFolder::locate().isNull()) << DataFolder::locate().toStdString();
    }
}

TEST(DataFolder, ExpansionMustFitTheBuffer)
{
    FolderEnvironment environment;
    FolderEnvironment::set("HOME", "/home/user");
    FolderEnvironment::set("USERPROFILE", "/" + QByteArray(248, 'a'));
    EXPECT_EQ(DataFolder::expandUserProfile().size(), 249);
    FolderEnvironment::set("USERPROFILE", "/" + QByteArray(249, 'a'));
    EXPECT_TRUE(DataFolder::expandUserProfile().isNull());
    // A profile that does not expand is not passed over for the home folder.
    EXPECT_TRUE(DataFolder::locate().isNull());
}

TEST(DataFolder, PrepareCreatesTheFolderOrFallsBackWithoutCreating)
{
    FolderEnvironment environment;
    QTemporaryDir home, program;
    FolderEnvironment::set("USERPROFILE", QByteArray());
    FolderEnvironment::set("XDG_DATA_HOME", QByteArray());
    FolderEnvironment::set("HOME", QFile::encodeName(home.path()));
    const DataFolder::Result result = DataFolder::prepare(program.path());
    EXPECT_TRUE(result.expanded);
    EXPECT_EQ(result.path, home.path() + "/.local/share/tarvine");
    EXPECT_TRUE(QFileInfo(result.path).isDir());
    // The folders it made are its owner's alone.
    const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                        QFile::WriteOther | QFile::ExeOther;
    for (const QString &made : {home.path() + "/.local", home.path() + "/.local/share", result.path})
        EXPECT_FALSE(QFileInfo(made).permissions() & others) << made.toStdString();
    EXPECT_EQ(DataFolder::prepare(program.path()).path, result.path); // exists already

    FolderEnvironment::set("USERPROFILE", QFile::encodeName(home.path()));
    EXPECT_EQ(DataFolder::prepare(program.path()).path, home.path() + "/Quelmo_Data");
    EXPECT_TRUE(QFileInfo(home.path() + "/Quelmo_Data").isDir());

    FolderEnvironment::set("USERPROFILE", QByteArray());
    FolderEnvironment::set("HOME", QByteArray());
    const DataFolder::Result fallback = DataFolder::prepare(program.path());
    EXPECT_FALSE(fallback.expanded);
    EXPECT_EQ(fallback.path, program.path());
    EXPECT_TRUE(QDir(program.path()).isEmpty());

    EXPECT_TRUE(QFileInfo(DataFolder::programFolder()).isDir());
}
