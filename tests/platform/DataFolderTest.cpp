#include "platform/DataFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
// Sets or clears USERPROFILE and HOME for one test and restores them after.
class ProfileEnvironment
{
public:
    ProfileEnvironment()
        : m_profile(qgetenv("USERPROFILE"))
        , m_home(qgetenv("HOME"))
        , m_hadProfile(qEnvironmentVariableIsSet("USERPROFILE"))
        , m_hadHome(qEnvironmentVariableIsSet("HOME"))
    {}
    ~ProfileEnvironment()
    {
        restore("USERPROFILE", m_hadProfile, m_profile);
        restore("HOME", m_hadHome, m_home);
    }
    static void set(const char *name, const QByteArray &value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

private:
    static void restore(const char *name, bool had, const QByteArray &value)
    {
        if (had)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    QByteArray m_profile, m_home;
    bool m_hadProfile, m_hadHome;
};
} // namespace

TEST(DataFolder, ProfileThenHomeThenNothing)
{
    ProfileEnvironment environment;
    ProfileEnvironment::set("USERPROFILE", "/profile/user");
    ProfileEnvironment::set("HOME", "/home/user");
    EXPECT_EQ(DataFolder::expandUserProfile(), "/profile/user");
    ProfileEnvironment::set("USERPROFILE", "");
    EXPECT_EQ(DataFolder::expandUserProfile(), "/home/user");
    ProfileEnvironment::set("USERPROFILE", QByteArray());
    ProfileEnvironment::set("HOME", "/home/user/");
    EXPECT_EQ(DataFolder::expandUserProfile(), "/home/user");
    ProfileEnvironment::set("HOME", QByteArray());
    EXPECT_TRUE(DataFolder::expandUserProfile().isNull());
}

TEST(DataFolder, ExpansionMustFitTheBuffer)
{
    ProfileEnvironment environment;
    ProfileEnvironment::set("USERPROFILE", "/" + QByteArray(248, 'a'));
    EXPECT_EQ(DataFolder::expandUserProfile().size(), 249);
    ProfileEnvironment::set("USERPROFILE", "/" + QByteArray(249, 'a'));
    EXPECT_TRUE(DataFolder::expandUserProfile().isNull());
}

TEST(DataFolder, PrepareCreatesTheFolderOrFallsBackWithoutCreating)
{
    ProfileEnvironment environment;
    QTemporaryDir profile, program;
    ProfileEnvironment::set("USERPROFILE", QFile::encodeName(profile.path()));
    const DataFolder::Result result = DataFolder::prepare(program.path());
    EXPECT_TRUE(result.expanded);
    EXPECT_EQ(result.path, profile.path() + "/Quelmo_Data");
    EXPECT_TRUE(QFileInfo(result.path).isDir());
    EXPECT_EQ(DataFolder::prepare(program.path()).path, result.path); // exists already

    ProfileEnvironment::set("USERPROFILE", QByteArray());
    ProfileEnvironment::set("HOME", QByteArray());
    const DataFolder::Result fallback = DataFolder::prepare(program.path());
    EXPECT_FALSE(fallback.expanded);
    EXPECT_EQ(fallback.path, program.path());
    EXPECT_TRUE(QDir(program.path()).isEmpty());

    EXPECT_TRUE(QFileInfo(DataFolder::programFolder()).isDir());
}
