#include "platform/standardpaths.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

TEST(StandardPaths, FoldersFollowTheVariablesOfTheSession)
{
    test::TemporaryHome home;
    const QString h = home.path();
    // The user's folder first, from XDG_DATA_HOME, then the local and system ones.
    EXPECT_EQ(
        searchPathsForDirectoriesInDomains(SearchPathDirectory::Application, AllDomains, true),
        (QStringList { h + u"/.local/share/applications"_s, u"/usr/local/share/applications"_s,
                       u"/usr/share/applications"_s }));
    qputenv("XDG_CACHE_HOME", "/var/tmp/elsewhere");
    EXPECT_EQ(searchPathsForDirectoriesInDomains(SearchPathDirectory::Caches, UserDomain, true),
              QStringList { u"/var/tmp/elsewhere"_s });
    qputenv("XDG_CACHE_HOME", "relative/is/ignored");
    EXPECT_EQ(searchPathsForDirectoriesInDomains(SearchPathDirectory::Caches, UserDomain, false),
              QStringList { u"~/.cache"_s });

    // Each base folder from its own variable when that is absolute.
    const std::tuple<XdgBaseFolder, const char *, QString> bases[] = {
        { XdgBaseFolder::Config, "XDG_CONFIG_HOME", h + u"/.config"_s },
        { XdgBaseFolder::Data, "XDG_DATA_HOME", h + u"/.local/share"_s },
        { XdgBaseFolder::Cache, "XDG_CACHE_HOME", h + u"/.cache"_s },
    };
    for (const auto &[base, variable, fallback] : bases) {
        qputenv(variable, "relative");
        EXPECT_EQ(xdgBaseFolder(base), fallback) << variable;
        qputenv(variable, "/var/tmp/elsewhere");
        EXPECT_EQ(xdgBaseFolder(base), u"/var/tmp/elsewhere"_s) << variable;
    }

    EXPECT_EQ(temporaryDirectory(), h + u"/tmp"_s);
    qputenv("TMPDIR", "/var/tmp///");
    EXPECT_EQ(temporaryDirectory(), u"/var/tmp"_s);
    qputenv("TMPDIR", "");
    EXPECT_EQ(temporaryDirectory(), u"/tmp"_s);
}

// A symbolic link there is refused in the helper's own test; a new home
// through a link, with neither a cache nor a runtime folder, is an
// end-to-end row.
TEST(StandardPaths, TemporaryItemsFolderIsTheUsersAlone)
{
    // The mode of $XDG_RUNTIME_DIR, whether ~/.cache/TemporaryItems is there
    // beforehand, open to all, and the folder chosen below the home folder
    // (nullptr: refused).
    const std::tuple<const char *, mode_t, bool, const char *> cases[] = {
        { "made in the runtime folder", 0700, false, "/run/TemporaryItems" },
        { "a runtime folder open to others is passed over", 0755, false, "/.cache/TemporaryItems" },
        { "an existing folder others may write in", 0755, true, nullptr },
    };
    for (const auto &[name, runtimeMode, openFolder, expected] : cases) {
        SCOPED_TRACE(name);
        test::TemporaryHome home;
        const QString h = QFileInfo(home.path()).canonicalFilePath();
        const QString items = h + u"/.cache/TemporaryItems"_s;
        ::chmod(QFile::encodeName(h + u"/run"_s), runtimeMode);
        if (openFolder) {
            QDir().mkpath(items);
            ::chmod(QFile::encodeName(items), 0777);
        }
        const auto folder = temporaryItemsDirectory();
        EXPECT_EQ(folder, expected ? std::optional(h + QLatin1String(expected)) : std::nullopt);
        if (folder) {
            EXPECT_EQ(test::mode(*folder), 0700u);
        }
    }
}

} // namespace
