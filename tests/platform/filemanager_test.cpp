// The Linux file manager against a real file system in a temporary folder.
#include "platform/filemanager.h"
#include "platform/filesystemrepresentation.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray bytes(const QString &path)
{
    return *fileSystemRepresentation(path);
}

class FileManagerTest : public testing::Test
{
protected:
    FileManager &fm = FileManager::defaultManager();
    QTemporaryDir dir;
    QString at(const QString &relative) const { return dir.path() + u'/' + relative; }
};

TEST_F(FileManagerTest, ExistenceAndKind)
{
    test::writeFile(at(QStringLiteral("file")), "x");
    QDir().mkpath(at(QStringLiteral("folder")));
    ASSERT_EQ(::symlink("folder", bytes(at(QStringLiteral("link"))).constData()), 0);
    ASSERT_EQ(::symlink("missing", bytes(at(QStringLiteral("dangling"))).constData()), 0);

    const struct
    {
        const char *path;
        bool exists, isDirectory;
    } cases[] = {
        { "file", true, false },      { "folder", true, true },
        { "folder/", true, true },    { "link", true, true }, // a final link is followed
        { "dangling", false, false }, { "nothing", false, false },
    };
    for (const auto &c : cases) {
        bool isDirectory = !c.isDirectory;
        EXPECT_EQ(fm.fileExistsAtPath(at(QLatin1String(c.path)), &isDirectory), c.exists) << c.path;
        EXPECT_EQ(isDirectory, c.isDirectory) << c.path;
    }
    EXPECT_FALSE(fm.fileExistsAtPath(QString()));
}

TEST_F(FileManagerTest, ExecutableMeansARunnableFile)
{
    test::writeFile(at(QStringLiteral("tool")), "#!/bin/sh\n");
    test::writeFile(at(QStringLiteral("data")), "x");
    QFile::setPermissions(at(QStringLiteral("tool")), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_TRUE(fm.isExecutableFileAtPath(at(QStringLiteral("tool"))));
    EXPECT_FALSE(fm.isExecutableFileAtPath(at(QStringLiteral("data"))));
    EXPECT_FALSE(fm.isExecutableFileAtPath(dir.path())); // folders are searchable, not runnable
    EXPECT_FALSE(fm.isExecutableFileAtPath(at(QStringLiteral("missing"))));
}

TEST_F(FileManagerTest, UnreadableFileIsNotReadable)
{
    ::chmod(bytes(dir.path()).constData(), 0755);
    test::writeFile(at(QStringLiteral("secret")), "x");
    ::chmod(bytes(at(QStringLiteral("secret"))).constData(), 0);
    const auto readable = test::runUnprivileged(
        [](const QString &path) {
            return FileManager::defaultManager().isReadableFileAtPath(path);
        },
        at(QStringLiteral("secret")));
    ASSERT_TRUE(readable.has_value()) << "could not drop privileges";
    EXPECT_FALSE(*readable);
    EXPECT_TRUE(fm.isReadableFileAtPath(dir.path()));
}

TEST_F(FileManagerTest, AttributesFollowLinksOnlyWhenAsked)
{
    test::writeFile(at(QStringLiteral("target")), "12345");
    const timespec old[2] = { { 1000000000, 0 }, { 1000000000, 0 } };
    ASSERT_EQ(::utimensat(AT_FDCWD, bytes(at(QStringLiteral("target"))).constData(), old, 0), 0);
    ASSERT_EQ(::symlink("target", bytes(at(QStringLiteral("link"))).constData()), 0);

    const auto followed = fm.fileAttributesAtPath(at(QStringLiteral("link")), true);
    ASSERT_TRUE(followed);
    EXPECT_EQ(followed->type, FileAttributes::Type::Regular);
    EXPECT_EQ(followed->size, 5);
    EXPECT_EQ(followed->modificationDate.toSecsSinceEpoch(), 1000000000);

    const auto link = fm.fileAttributesAtPath(at(QStringLiteral("link")), false);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->type, FileAttributes::Type::SymbolicLink);
    EXPECT_NE(link->modificationDate.toSecsSinceEpoch(), 1000000000);

    EXPECT_FALSE(fm.fileAttributesAtPath(at(QStringLiteral("missing")), true));
}

TEST_F(FileManagerTest, DirectoryContentsListOneLevelWithAnyName)
{
    const QString odd = stringWithFileSystemRepresentation(QByteArray("not utf8 \xff\nline"));
    for (const QString &name : { QStringLiteral("AUTORUN.INF"), QStringLiteral("setup.exe"), odd })
        test::writeFile(at(name), "");
    QDir().mkpath(at(QStringLiteral("sub/deeper")));

    auto contents = fm.directoryContentsAtPath(dir.path());
    ASSERT_TRUE(contents);
    contents->sort();
    QStringList expected { QStringLiteral("AUTORUN.INF"), QStringLiteral("setup.exe"), odd,
                           QStringLiteral("sub") };
    expected.sort();
    EXPECT_EQ(*contents, expected);
    EXPECT_TRUE(fm.fileExistsAtPath(at(odd))); // the name leads back to the file

    EXPECT_FALSE(fm.directoryContentsAtPath(at(QStringLiteral("AUTORUN.INF"))));
    EXPECT_FALSE(fm.directoryContentsAtPath(at(QStringLiteral("missing"))));
}

TEST_F(FileManagerTest, DisplayNames)
{
    QDir().mkpath(at(QStringLiteral("Quillmont.app")));
    test::writeFile(at(QStringLiteral("notes.app")), "a file, not a bundle");
    const struct
    {
        QString path, name;
    } cases[] = {
        { at(QStringLiteral("Quillmont.app")), QStringLiteral("Quillmont") },
        { at(QStringLiteral("Quillmont.app/")), QStringLiteral("Quillmont") },
        { at(QStringLiteral("notes.app")), QStringLiteral("notes.app") },
        { QStringLiteral("/media/cdrom"), QStringLiteral("cdrom") },
        { QStringLiteral("/"), QStringLiteral("/") },
        { stringWithFileSystemRepresentation(QByteArray("/media/\xff")), QStringLiteral("\ufffd") },
    };
    for (const auto &c : cases)
        EXPECT_EQ(fm.displayNameAtPath(c.path), c.name) << c.path.toStdString();
}

TEST_F(FileManagerTest, CopyKeepsTreeModesLinksAndTimes)
{
    const QString source = at(QStringLiteral("Helper.app"));
    test::writeFile(source + QStringLiteral("/Contents/MacOS/helper"), "#!/bin/sh\n");
    test::writeFile(source + QStringLiteral("/Contents/Info.plist"), "<plist/>");
    ::chmod(bytes(source + QStringLiteral("/Contents/MacOS/helper")).constData(), 0751);
    ::symlink("../../../outside", bytes(source + QStringLiteral("/Contents/escape")).constData());
    ::chmod(bytes(source + QStringLiteral("/Contents")).constData(), 0555); // read-only folder
    const timespec old[2] = { { 1200000000, 0 }, { 1200000000, 0 } };
    ::utimensat(AT_FDCWD, bytes(source + QStringLiteral("/Contents/Info.plist")).constData(), old,
                0);

    const QString copy = at(QStringLiteral("Copy.app"));
    ASSERT_TRUE(fm.copyPath(source, copy));

    struct stat st;
    ASSERT_EQ(::stat(bytes(copy + QStringLiteral("/Contents/MacOS/helper")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);
    ASSERT_EQ(::stat(bytes(copy + QStringLiteral("/Contents")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0555u);
    EXPECT_EQ(test::readFile(copy + QStringLiteral("/Contents/Info.plist")), "<plist/>");
    EXPECT_EQ(fm.fileAttributesAtPath(copy + QStringLiteral("/Contents/Info.plist"), false)
                  ->modificationDate.toSecsSinceEpoch(),
              1200000000);
    char target[64] = {};
    ASSERT_GT(::readlink(bytes(copy + QStringLiteral("/Contents/escape")).constData(), target,
                         sizeof target - 1),
              0);
    EXPECT_STREQ(target, "../../../outside");

    ::chmod(bytes(source + QStringLiteral("/Contents")).constData(), 0755);
    ::chmod(bytes(copy + QStringLiteral("/Contents")).constData(), 0755);
}

TEST_F(FileManagerTest, CopyNeverReplacesAndEndsWhenCopyingIntoItself)
{
    test::writeFile(at(QStringLiteral("a/file")), "new");
    test::writeFile(at(QStringLiteral("b/file")), "old");
    EXPECT_FALSE(fm.copyPath(at(QStringLiteral("a")), at(QStringLiteral("b"))));
    EXPECT_EQ(test::readFile(at(QStringLiteral("b/file"))), "old");

    EXPECT_TRUE(fm.copyPath(at(QStringLiteral("a")), at(QStringLiteral("a/inner"))));
    EXPECT_TRUE(fm.fileExistsAtPath(at(QStringLiteral("a/inner/file"))));
    EXPECT_FALSE(fm.fileExistsAtPath(at(QStringLiteral("a/inner/inner"))));

    EXPECT_FALSE(fm.copyPath(at(QStringLiteral("missing")), at(QStringLiteral("c"))));
    EXPECT_FALSE(fm.fileExistsAtPath(at(QStringLiteral("c"))));
}

TEST_F(FileManagerTest, FailedCopyLeavesNothingBehind)
{
    test::writeFile(at(QStringLiteral("src/ok")), "x");
    ASSERT_EQ(::mkfifo(bytes(at(QStringLiteral("src/pipe"))).constData(), 0600), 0);
    EXPECT_FALSE(fm.copyPath(at(QStringLiteral("src")), at(QStringLiteral("dst"))));
    EXPECT_FALSE(fm.fileExistsAtPath(at(QStringLiteral("dst"))));
}

TEST_F(FileManagerTest, RemoveTakesTheTreeButNotWhatLinksPointTo)
{
    test::writeFile(at(QStringLiteral("keep/precious")), "x");
    test::writeFile(at(QStringLiteral("tree/a/b/file")), "x");
    ::symlink(bytes(at(QStringLiteral("keep"))).constData(),
              bytes(at(QStringLiteral("tree/a/link"))).constData());

    EXPECT_TRUE(fm.removeFileAtPath(at(QStringLiteral("tree"))));
    EXPECT_FALSE(fm.fileExistsAtPath(at(QStringLiteral("tree"))));
    EXPECT_TRUE(fm.fileExistsAtPath(at(QStringLiteral("keep/precious"))));
    EXPECT_FALSE(fm.removeFileAtPath(at(QStringLiteral("tree"))));
    EXPECT_FALSE(fm.removeFileAtPath(QStringLiteral("/")));
}

TEST_F(FileManagerTest, CreateDirectoryAndFile)
{
    EXPECT_TRUE(fm.createDirectoryAtPath(at(QStringLiteral("new")), { 0701 }));
    struct stat st;
    ASSERT_EQ(::stat(bytes(at(QStringLiteral("new"))).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0701u); // exact, whatever the umask
    EXPECT_FALSE(fm.createDirectoryAtPath(at(QStringLiteral("new")), {}));
    EXPECT_FALSE(fm.createDirectoryAtPath(at(QStringLiteral("missing/child")), {}));

    EXPECT_TRUE(fm.createFileAtPath(at(QStringLiteral("new/.localized")), {}, {}));
    EXPECT_EQ(test::readFile(at(QStringLiteral("new/.localized"))), QByteArray());
    EXPECT_TRUE(fm.createFileAtPath(at(QStringLiteral("new/.localized")), "again", {}));
    EXPECT_EQ(test::readFile(at(QStringLiteral("new/.localized"))), "again");

    ::symlink(bytes(at(QStringLiteral("victim"))).constData(),
              bytes(at(QStringLiteral("trap"))).constData());
    EXPECT_FALSE(fm.createFileAtPath(at(QStringLiteral("trap")), "x", {}));
    EXPECT_FALSE(fm.fileExistsAtPath(at(QStringLiteral("victim"))));
}

} // namespace
