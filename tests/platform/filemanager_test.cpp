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

using namespace Qt::StringLiterals;

namespace {

class FileManagerTest : public testing::Test
{
protected:
    QString at(const QString &relative) const { return dir.path() + u'/' + relative; }
    QByteArray bytes(const QString &relative) const
    {
        return *fileSystemRepresentation(at(relative));
    }

    FileManager &fm = FileManager::defaultManager();
    QTemporaryDir dir;
};

TEST_F(FileManagerTest, ExistenceKindAndExecutable)
{
    test::writeFile(at(u"data"_s), "x");
    test::writeFile(at(u"tool"_s), "#!/bin/sh\n");
    QFile::setPermissions(at(u"tool"_s), QFile::ReadOwner | QFile::ExeOwner);
    QDir().mkpath(at(u"folder"_s));
    ASSERT_EQ(::symlink("folder", bytes(u"link"_s).constData()), 0);
    ASSERT_EQ(::symlink("missing", bytes(u"dangling"_s).constData()), 0);
    // Name: exists, is a folder, is executable.
    const std::tuple<QString, bool, bool, bool> cases[] = {
        { u"data"_s, true, false, false },      { u"tool"_s, true, false, true },
        { u"folder"_s, true, true, false }, // searchable, not runnable
        { u"link"_s, true, true, false }, // a final link is followed
        { u"dangling"_s, false, false, false }, { u"nothing"_s, false, false, false },
    };
    for (const auto &[name, exists, folder, executable] : cases) {
        SCOPED_TRACE(name.toStdString());
        bool isDirectory = !folder;
        EXPECT_EQ(fm.fileExistsAtPath(at(name), &isDirectory), exists);
        EXPECT_EQ(isDirectory, folder);
        EXPECT_EQ(fm.isExecutableFileAtPath(at(name)), executable);
    }
    EXPECT_FALSE(fm.fileExistsAtPath(QString()));
}

TEST_F(FileManagerTest, DirectoryContentsAndDisplayNamesOfAnyName)
{
    const QString odd = stringWithFileSystemRepresentation(QByteArray("not utf8 \xff\nline"));
    test::writeFile(at(u"AUTORUN.INF"_s), "");
    test::writeFile(at(odd), "");
    QDir().mkpath(at(u"Quillmont.app/deeper"_s));
    test::writeFile(at(u"notes.app"_s), "a file, not a bundle");

    auto contents = fm.directoryContentsAtPath(dir.path());
    ASSERT_TRUE(contents);
    contents->sort();
    EXPECT_EQ(*contents,
              (QStringList { u"AUTORUN.INF"_s, u"Quillmont.app"_s, odd, u"notes.app"_s }));
    EXPECT_TRUE(fm.fileExistsAtPath(at(odd))); // the name leads back to the file
    EXPECT_FALSE(fm.directoryContentsAtPath(at(u"AUTORUN.INF"_s)));
    EXPECT_FALSE(fm.directoryContentsAtPath(at(u"missing"_s)));

    const std::pair<QString, QString> names[] = {
        { at(u"Quillmont.app/"_s), u"Quillmont"_s },
        { at(u"notes.app"_s), u"notes.app"_s },
        { u"/"_s, u"/"_s },
        { at(odd), u"not utf8 \ufffd\nline"_s },
    };
    for (const auto &[path, name] : names)
        EXPECT_EQ(fm.displayNameAtPath(path), name) << path.toStdString();
}

TEST_F(FileManagerTest, CopyKeepsTreeModesLinksAndTimes)
{
    test::writeFile(at(u"Helper.app/Contents/MacOS/helper"_s), "#!/bin/sh\n");
    test::writeFile(at(u"Helper.app/Contents/Info.plist"_s), "<plist/>");
    ::chmod(bytes(u"Helper.app/Contents/MacOS/helper"_s).constData(), 0751);
    ::symlink("../../../outside", bytes(u"Helper.app/Contents/escape"_s).constData());
    const timespec old[2] = { { 1200000000, 0 }, { 1200000000, 123456789 } };
    ASSERT_EQ(::utimensat(AT_FDCWD, bytes(u"Helper.app/Contents/Info.plist"_s).constData(), old, 0),
              0);
    ::chmod(bytes(u"Helper.app/Contents"_s).constData(), 0555); // read-only folder

    ASSERT_TRUE(fm.copyPath(at(u"Helper.app"_s), at(u"Copy.app"_s)));
    EXPECT_EQ(test::mode(at(u"Copy.app/Contents/MacOS/helper"_s)), 0751u);
    EXPECT_EQ(test::mode(at(u"Copy.app/Contents"_s)), 0755u) << "a copy its owner can replace";
    EXPECT_EQ(test::readFile(at(u"Copy.app/Contents/Info.plist"_s)), "<plist/>");
    const FileTime copied
        = fm.fileAttributesAtPath(at(u"Copy.app/Contents/Info.plist"_s), false)->modificationDate;
    EXPECT_EQ(std::pair(copied.seconds, copied.nanoseconds), std::pair(1200000000LL, 123456789));
    char target[64] = {};
    ASSERT_GT(::readlink(bytes(u"Copy.app/Contents/escape"_s).constData(), target, 63), 0);
    EXPECT_STREQ(target, "../../../outside");

    ::chmod(bytes(u"Helper.app/Contents"_s).constData(), 0755);
}

TEST_F(FileManagerTest, CopyNeverReplacesEndsInsideItselfAndLeavesNoHalfCopy)
{
    test::writeFile(at(u"a/file"_s), "new");
    test::writeFile(at(u"b/file"_s), "old");
    EXPECT_FALSE(fm.copyPath(at(u"a"_s), at(u"b"_s)));
    EXPECT_EQ(test::readFile(at(u"b/file"_s)), "old");

    EXPECT_TRUE(fm.copyPath(at(u"a"_s), at(u"a/inner"_s)));
    EXPECT_TRUE(fm.fileExistsAtPath(at(u"a/inner/file"_s)));
    EXPECT_FALSE(fm.fileExistsAtPath(at(u"a/inner/inner"_s)));

    // A pipe has no place in a bundle: the copy fails and is removed.
    ASSERT_EQ(::mkfifo(bytes(u"a/pipe"_s).constData(), 0600), 0);
    EXPECT_FALSE(fm.copyPath(at(u"a"_s), at(u"c"_s)));
    EXPECT_FALSE(fm.fileExistsAtPath(at(u"c"_s)));
}

TEST_F(FileManagerTest, RemoveTakesTheTreeButNotWhatLinksPointTo)
{
    test::writeFile(at(u"keep/precious"_s), "x");
    test::writeFile(at(u"tree/a/b/file"_s), "x");
    ::symlink(bytes(u"keep"_s).constData(), bytes(u"tree/a/link"_s).constData());

    EXPECT_TRUE(fm.removeFileAtPath(at(u"tree"_s)));
    EXPECT_FALSE(fm.fileExistsAtPath(at(u"tree"_s)));
    EXPECT_TRUE(fm.fileExistsAtPath(at(u"keep/precious"_s)));
    EXPECT_FALSE(fm.removeFileAtPath(at(u"tree"_s)));
    EXPECT_FALSE(fm.removeFileAtPath(u"/"_s));

    // A read-only tree of the user's own (a bundle installed 0555) goes too;
    // as root permissions would not apply, so it runs as nobody.
    test::writeFile(at(u"Locked.app/Contents/MacOS/helper"_s), "x");
    for (const char *folder : { "/Contents/MacOS", "/Contents", "" }) {
        const QByteArray path = bytes(u"Locked.app"_s) + folder;
        (void)::chown(path.constData(), 65534, 65534);
        ::chmod(path.constData(), 0555);
    }
    (void)::chown(bytes(u"Locked.app/Contents/MacOS/helper"_s).constData(), 65534, 65534);
    ::chmod(dir.path().toLocal8Bit().constData(), 0777);
    const auto removed = test::runUnprivileged(
        [](const QString &path) { return FileManager::defaultManager().removeFileAtPath(path); },
        at(u"Locked.app"_s));
    ASSERT_TRUE(removed.has_value());
    EXPECT_TRUE(*removed);
    EXPECT_FALSE(fm.fileExistsAtPath(at(u"Locked.app"_s)));
}

TEST_F(FileManagerTest, CreateDirectoryAndFile)
{
    EXPECT_TRUE(fm.createDirectoryAtPath(at(u"new"_s), {}));
    EXPECT_FALSE(fm.createDirectoryAtPath(at(u"new"_s), {}));

    EXPECT_TRUE(fm.createFileAtPath(at(u"new/.localized"_s), {}, {}));
    EXPECT_TRUE(fm.createFileAtPath(at(u"new/.localized"_s), "again", {}));
    EXPECT_EQ(test::readFile(at(u"new/.localized"_s)), "again");

    ::symlink(bytes(u"victim"_s).constData(), bytes(u"trap"_s).constData());
    EXPECT_FALSE(fm.createFileAtPath(at(u"trap"_s), "x", {}));
    EXPECT_FALSE(fm.fileExistsAtPath(at(u"victim"_s)));
}

} // namespace
