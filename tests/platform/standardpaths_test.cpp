#include "platform/standardpaths.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>

namespace {

TEST(StandardPaths, FoldersFollowTheXdgVariablesOfTheSession)
{
    test::TemporaryHome home;
    const QString h = home.path();
    const struct
    {
        SearchPathDirectory directory;
        uint mask;
        QStringList expected;
    } cases[] = {
        { SearchPathDirectory::Application,
          AllDomains,
          { h + QStringLiteral("/.local/share/applications"),
            QStringLiteral("/usr/local/share/applications"),
            QStringLiteral("/usr/share/applications") } },
        { SearchPathDirectory::Application,
          UserDomain,
          { h + QStringLiteral("/.local/share/applications") } },
        { SearchPathDirectory::Caches,
          AllDomains,
          { h + QStringLiteral("/.cache"), QStringLiteral("/var/cache") } },
        { SearchPathDirectory::ApplicationSupport, SystemDomain, { QStringLiteral("/usr/share") } },
        { SearchPathDirectory::Library,
          LocalDomain | SystemDomain,
          { QStringLiteral("/usr/local"), QStringLiteral("/usr") } },
        { SearchPathDirectory::User, AllDomains, { QStringLiteral("/home") } },
        { SearchPathDirectory::Developer, AllDomains, {} },
        { SearchPathDirectory::Desktop, NetworkDomain, {} },
        { SearchPathDirectory::AllLibraries, UserDomain, { h + QStringLiteral("/.local") } },
    };
    for (const auto &c : cases)
        EXPECT_EQ(searchPathsForDirectoriesInDomains(c.directory, c.mask, true), c.expected)
            << int(c.directory) << " mask " << c.mask;

    qputenv("XDG_CACHE_HOME", "/var/tmp/elsewhere");
    EXPECT_EQ(searchPathsForDirectoriesInDomains(SearchPathDirectory::Caches, UserDomain, true),
              QStringList { QStringLiteral("/var/tmp/elsewhere") });
    qputenv("XDG_CACHE_HOME", "relative/is/ignored");
    EXPECT_EQ(searchPathsForDirectoriesInDomains(SearchPathDirectory::Caches, UserDomain, false),
              QStringList { QStringLiteral("~/.cache") });
}

TEST(StandardPaths, HomeTemporaryFolderAndUser)
{
    test::TemporaryHome home;
    EXPECT_EQ(homeDirectory(), home.path());
    EXPECT_EQ(temporaryDirectory(), home.path() + QStringLiteral("/tmp"));
    qputenv("TMPDIR", "/var/tmp///");
    EXPECT_EQ(temporaryDirectory(), QStringLiteral("/var/tmp"));
    qputenv("TMPDIR", "");
    EXPECT_EQ(temporaryDirectory(), QStringLiteral("/tmp"));
    EXPECT_FALSE(userName().isEmpty());
    EXPECT_NE(userName(), qEnvironmentVariable("USER") + QStringLiteral("-not"));
}

} // namespace
