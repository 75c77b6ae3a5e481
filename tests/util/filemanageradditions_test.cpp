// File-manager additions on the real file system, in a throw-away home whose
// XDG folders are the standard folders of this process.
#include "util/filemanageradditions.h"

#include "platform/standardpaths.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class FileManagerAdditionsTest : public testing::Test
{
protected:
    // The standard folder set is made once per process, so the home it is
    // made in must live as long as the suite.
    static void SetUpTestSuite()
    {
        s_home = new test::TemporaryHome;
        QDir(s_home->path() + QStringLiteral("/.local")).removeRecursively();
        (void)systemPaths();
    }
    static void TearDownTestSuite()
    {
        delete s_home;
        s_home = nullptr;
    }

    QString home() const { return s_home->path(); }
    FileManager &fm = FileManager::defaultManager();
    static test::TemporaryHome *s_home;
};

test::TemporaryHome *FileManagerAdditionsTest::s_home = nullptr;

bool hasMarker(const QString &folder)
{
    return QFileInfo::exists(folder + QStringLiteral("/.localized"));
}

TEST_F(FileManagerAdditionsTest, RecursiveCreationMarksEveryNewStandardFolder)
{
    const QString local = home() + QStringLiteral("/.local");
    const QString target = local + QStringLiteral("/share/applications/Quillmont");
    ASSERT_FALSE(QFileInfo::exists(local));
    ASSERT_TRUE(createDirectoryAtPath(fm, target, { 0700 }, true));

    const struct
    {
        QString folder;
        bool marked;
    } cases[] = {
        { local, true }, // ~/.local
        { local + QStringLiteral("/share"), true }, // application support
        { local + QStringLiteral("/share/applications"), true },
        { target, false }, // not a standard folder
    };
    for (const auto &c : cases) {
        EXPECT_TRUE(QFileInfo(c.folder).isDir()) << c.folder.toStdString();
        EXPECT_EQ(hasMarker(c.folder), c.marked) << c.folder.toStdString();
        EXPECT_EQ(QFileInfo(c.folder).permissions() & QFile::ReadGroup, 0)
            << "attributes apply to each level";
    }
    EXPECT_EQ(test::readFile(local + QStringLiteral("/.localized")), QByteArray());
}

TEST_F(FileManagerAdditionsTest, ExistingItemsAreNeverTouched)
{
    const QString cache = home() + QStringLiteral("/.cache"); // a standard folder that exists
    for (const QString &folder : { cache, QStringLiteral("/usr/share/applications"),
                                   QStringLiteral("/usr/share"), QStringLiteral("/home") })
        ASSERT_TRUE(systemPaths().contains(folder)) << folder.toStdString();
    EXPECT_TRUE(createDirectoryAtPath(fm, cache, {}, true));
    EXPECT_FALSE(hasMarker(cache));

    test::writeFile(home() + QStringLiteral("/plain"), "x");
    EXPECT_FALSE(createDirectoryAtPath(fm, home() + QStringLiteral("/plain"), {}, true));
    EXPECT_FALSE(createDirectoryAtPath(fm, home() + QStringLiteral("/plain/below"), {}, true));

    EXPECT_FALSE(createDirectoryAtPath(fm, home() + QStringLiteral("/missing/child"), {}, false));
    EXPECT_FALSE(QFileInfo::exists(home() + QStringLiteral("/missing")));
    EXPECT_FALSE(createDirectoryAtPath(fm, QStringLiteral("relative-nowhere/a/b"), {}, true));
}

TEST_F(FileManagerAdditionsTest, StandardFolderWrittenWithATrailingSlashGetsNoMarker)
{
    const QString desktop
        = searchPathsForDirectoriesInDomains(SearchPathDirectory::Desktop, UserDomain, true)
              .value(0);
    ASSERT_TRUE(systemPaths().contains(desktop));
    QDir(desktop).removeRecursively();
    EXPECT_TRUE(createDirectoryAtPath(fm, desktop + u'/', {}, false));
    EXPECT_FALSE(hasMarker(desktop));
}

TEST_F(FileManagerAdditionsTest, ArchitectureTestQuotesEachArgumentAsOneWord)
{
    // The command names /usr/bin/lipo, which Linux does not have; stand a
    // recording script in for it and run the real command text through bash.
    QTemporaryDir dir;
    const QString fakeLipo = dir.path() + QStringLiteral("/lipo");
    test::writeFile(
        fakeLipo,
        "#!/bin/sh\nprintf '%s' \"$2\" > \"$0.arg\"\necho \"Architectures: x86_64 i386\"\n");
    QFile::setPermissions(fakeLipo, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);

    const QString hostile = QStringLiteral("/tmp/it's a \"disc\" $(touch pwned) `x`\n.exe");
    const struct
    {
        QString architecture;
        int status;
    } cases[] = { { QStringLiteral("i386"), 0 },
                  { QStringLiteral("i38"), 1 },
                  { QStringLiteral("-v"), 1 } };
    for (const auto &c : cases) {
        QString command = machOTestCommand(hostile, c.architecture);
        ASSERT_TRUE(command.startsWith(QStringLiteral("/usr/bin/lipo -info '")));
        command.replace(QStringLiteral("/usr/bin/lipo"), fakeLipo);
        EXPECT_EQ(QProcess::execute(QStringLiteral("/bin/bash"), { QStringLiteral("-c"), command }),
                  c.status)
            << c.architecture.toStdString();
        EXPECT_EQ(QString::fromUtf8(test::readFile(fakeLipo + QStringLiteral(".arg"))), hostile);
    }
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("pwned")));

    if (!QFileInfo::exists(QStringLiteral("/usr/bin/lipo"))) {
        EXPECT_FALSE(isMachOFile(fm, fakeLipo, QStringLiteral("i386")));
    }
}

TEST_F(FileManagerAdditionsTest, SameFileFollowsLinksAndNamesItems)
{
    const QString a = home() + QStringLiteral("/a"), b = home() + QStringLiteral("/b");
    test::writeFile(a, "x");
    test::writeFile(b, "x");
    ASSERT_EQ(::symlink("a", QFile::encodeName(home() + QStringLiteral("/link")).constData()), 0);
    ASSERT_EQ(::link(QFile::encodeName(a).constData(),
                     QFile::encodeName(home() + QStringLiteral("/hard")).constData()),
              0);
    const struct
    {
        QString first, second;
        bool same;
    } cases[] = {
        { a, a, true },
        { a, home() + QStringLiteral("/link"), true },
        { a, home() + QStringLiteral("/hard"), true },
        { a, home() + QStringLiteral("/./a"), true },
        { a, b, false },
        { a, home() + QStringLiteral("/missing"), false },
        { home() + QStringLiteral("/missing"), home() + QStringLiteral("/missing"), false },
    };
    for (const auto &c : cases)
        EXPECT_EQ(isSameFile(fm, c.first, c.second), c.same) << c.second.toStdString();
}

TEST_F(FileManagerAdditionsTest, TemporaryPathsAreFreeNamesInTheTemporaryFolder)
{
    const auto path = temporaryPathFromTemplate(fm, QStringLiteral("helper.XXXXXX"));
    ASSERT_TRUE(path);
    EXPECT_TRUE(path->startsWith(temporaryDirectory() + QStringLiteral("/helper.")));
    EXPECT_EQ(path->size(), (temporaryDirectory() + QStringLiteral("/helper.XXXXXX")).size());
    EXPECT_FALSE(path->endsWith(QStringLiteral("XXXXXX")));
    EXPECT_FALSE(QFileInfo::exists(*path));
    EXPECT_NE(*temporaryPathFromTemplate(fm, QStringLiteral("helper.XXXXXX")), *path);

    test::writeFile(temporaryDirectory() + QStringLiteral("/taken"), "");
    EXPECT_FALSE(temporaryPathFromTemplate(fm, QStringLiteral("taken")));
    EXPECT_TRUE(temporaryPathFromTemplate(fm, QStringLiteral("free")));
    EXPECT_FALSE(
        temporaryPathFromTemplate(fm, QStringLiteral("bad") + QChar(0) + QStringLiteral("XXX")));
}

TEST_F(FileManagerAdditionsTest, DisplayStringsShowTheHomeAsTheUserName)
{
    QDir().mkpath(home() + QStringLiteral("/Documents/Report"));
    // Outside a bundle the separator key has no translation: the key is used.
    const QString separator = QStringLiteral(" \\U25B9 ");
    const struct
    {
        QString path;
        std::optional<QString> shown;
    } cases[] = {
        { home() + QStringLiteral("/Documents/Report"),
          userName() + separator + QStringLiteral("Documents") + separator
              + QStringLiteral("Report") },
        { home(), userName() },
        { QStringLiteral("/usr/share"),
          QStringLiteral("/") + separator + QStringLiteral("usr") + separator
              + QStringLiteral("share") },
        { home() + QStringLiteral("/missing"), std::nullopt },
    };
    for (const auto &c : cases)
        EXPECT_EQ(getDisplayStringForPath(fm, c.path), c.shown) << c.path.toStdString();
}

} // namespace
