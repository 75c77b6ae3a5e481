#include "platform/standardpaths.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

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
}

TEST(StandardPaths, TemporaryItemsFolderIsTheUsersAlone)
{
    const auto mode = [](const QString &path) {
        struct stat info
        {
        };
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777
                                                                        : 07777u;
    };
    const struct
    {
        const char *name;
        mode_t runtimeMode; // of $XDG_RUNTIME_DIR
        void (*prepare)(const QString &home);
        const char *expected; // below the home folder; nullptr: refused
    } cases[] = {
        { "made in the runtime folder", 0700, nullptr, "/run/TemporaryItems" },
        { "a runtime folder open to others is passed over", 0755, nullptr,
          "/.cache/TemporaryItems" },
        { "an existing folder others may write in", 0755,
          [](const QString &home) {
              QDir().mkpath(home + QStringLiteral("/.cache/TemporaryItems"));
              ::chmod(QFile::encodeName(home + QStringLiteral("/.cache/TemporaryItems")), 0777);
          },
          nullptr },
        { "a symbolic link", 0755,
          [](const QString &home) {
              QDir().mkpath(home + QStringLiteral("/.cache"));
              QFile::link(home, home + QStringLiteral("/.cache/TemporaryItems"));
          },
          nullptr },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        test::TemporaryHome home;
        const QString h = QFileInfo(home.path()).canonicalFilePath();
        ::chmod(QFile::encodeName(h + QStringLiteral("/run")), c.runtimeMode);
        if (c.prepare)
            c.prepare(h);
        const auto folder = temporaryItemsDirectory();
        if (!c.expected) {
            EXPECT_EQ(folder, std::nullopt);
            continue;
        }
        EXPECT_EQ(folder, h + QLatin1String(c.expected));
        EXPECT_EQ(mode(*folder), 0700u);
    }
}

} // namespace
