// File-manager additions on the real file system, in a throw-away home whose
// XDG folders are the standard folders of this process.
#include "util/filemanageradditions.h"

#include "platform/standardpaths.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

class FileManagerAdditionsTest : public testing::Test
{
protected:
    // The standard folder set is made once per process, so the home it is
    // made in must live as long as the suite.
    static void SetUpTestSuite()
    {
        s_home = new test::TemporaryHome;
        QDir(s_home->path() + u"/.local"_s).removeRecursively();
        (void)systemPaths();
    }
    static void TearDownTestSuite() { delete s_home; }

    QString home() const { return s_home->path(); }
    FileManager &fm = FileManager::defaultManager();
    static inline test::TemporaryHome *s_home = nullptr;
};

bool hasMarker(const QString &folder)
{
    return QFileInfo::exists(folder + u"/.localized"_s);
}

TEST_F(FileManagerAdditionsTest, RecursiveCreationMarksEveryNewStandardFolder)
{
    const QString local = home() + u"/.local"_s;
    const QString target = local + u"/share/applications/Quillmont"_s;
    ASSERT_FALSE(QFileInfo::exists(local));
    ASSERT_TRUE(createDirectoryAtPath(fm, target, { 0700 }, true));

    // ~/.local, application support and its applications folder are standard.
    for (const auto &[folder, marked] : { std::pair { local, true },
                                          { local + u"/share"_s, true },
                                          { local + u"/share/applications"_s, true },
                                          { target, false } }) {
        EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();
        EXPECT_EQ(hasMarker(folder), marked) << folder.toStdString();
        EXPECT_EQ(QFileInfo(folder).permissions() & QFile::ReadGroup, 0)
            << "attributes apply to each level";
    }
    EXPECT_EQ(test::readFile(local + u"/.localized"_s), QByteArray());
}

TEST_F(FileManagerAdditionsTest, ExistingItemsAreNeverTouchedAndNamesMatchExactly)
{
    const QString cache = home() + u"/.cache"_s; // a standard folder that exists
    ASSERT_TRUE(systemPaths().contains(cache));
    EXPECT_TRUE(createDirectoryAtPath(fm, cache, {}, true));
    EXPECT_FALSE(hasMarker(cache));

    test::writeFile(home() + u"/plain"_s, "x");
    EXPECT_FALSE(createDirectoryAtPath(fm, home() + u"/plain"_s, {}, true));
    EXPECT_FALSE(createDirectoryAtPath(fm, home() + u"/plain/below"_s, {}, true));

    EXPECT_FALSE(createDirectoryAtPath(fm, home() + u"/missing/child"_s, {}, false));
    EXPECT_FALSE(QFileInfo::exists(home() + u"/missing"_s));
    EXPECT_FALSE(createDirectoryAtPath(fm, u"relative-nowhere/a/b"_s, {}, true));

    // A standard folder written with a trailing slash is not the same text.
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
    const QString fakeLipo = dir.path() + u"/lipo"_s;
    test::writeFile(
        fakeLipo,
        "#!/bin/sh\nprintf '%s' \"$2\" > \"$0.arg\"\necho \"Architectures: x86_64 i386\"\n");
    QFile::setPermissions(fakeLipo, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);

    const QString hostile = u"/tmp/it's a \"disc\" $(touch pwned) `x`\n.exe"_s;
    // -v must not be taken for an option, nor i38 for i386.
    for (const auto &[architecture, status] :
         { std::pair { u"i386"_s, 0 }, { u"i38"_s, 1 }, { u"-v"_s, 1 } }) {
        QString command = machOTestCommand(hostile, architecture);
        ASSERT_TRUE(command.startsWith(u"/usr/bin/lipo -info '"_s));
        command.replace(u"/usr/bin/lipo"_s, fakeLipo);
        EXPECT_EQ(QProcess::execute(u"/bin/bash"_s, { u"-c"_s, command }), status)
            << architecture.toStdString();
        EXPECT_EQ(QString::fromUtf8(test::readFile(fakeLipo + u".arg"_s)), hostile);
    }
    EXPECT_FALSE(QFileInfo::exists(u"pwned"_s));

    if (!QFileInfo::exists(u"/usr/bin/lipo"_s)) {
        EXPECT_FALSE(isMachOFile(fm, fakeLipo, u"i386"_s));
    }
}

TEST_F(FileManagerAdditionsTest, SameFileFollowsLinksAndNamesItems)
{
    const QString a = home() + u"/a"_s, b = home() + u"/b"_s, missing = home() + u"/missing"_s;
    test::writeFile(a, "x");
    test::writeFile(b, "x");
    ASSERT_TRUE(QFile::link(u"a"_s, home() + u"/link"_s));
    ASSERT_EQ(::link(QFile::encodeName(a).constData(),
                     QFile::encodeName(home() + u"/hard"_s).constData()),
              0);
    EXPECT_TRUE(isSameFile(fm, a, home() + u"/link"_s));
    EXPECT_TRUE(isSameFile(fm, a, home() + u"/hard"_s));
    EXPECT_FALSE(isSameFile(fm, a, b)) << "the same contents are not the same file";
    EXPECT_FALSE(isSameFile(fm, missing, missing));
}

TEST_F(FileManagerAdditionsTest, TemporaryPathsAreFreeNamesInTheTemporaryFolder)
{
    const QString pattern = temporaryDirectory() + u"/helper.XXXXXX"_s;
    const auto path = temporaryPathFromTemplate(fm, u"helper.XXXXXX"_s);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->size(), pattern.size());
    EXPECT_TRUE(path->startsWith(pattern.chopped(6)));
    EXPECT_FALSE(path->endsWith(u"XXXXXX"_s));
    EXPECT_FALSE(QFileInfo::exists(*path));
    EXPECT_NE(*temporaryPathFromTemplate(fm, u"helper.XXXXXX"_s), *path);

    test::writeFile(temporaryDirectory() + u"/taken"_s, "");
    EXPECT_FALSE(temporaryPathFromTemplate(fm, u"taken"_s));
    EXPECT_TRUE(temporaryPathFromTemplate(fm, u"free"_s));
    EXPECT_FALSE(temporaryPathFromTemplate(fm, u"bad"_s + QChar(0) + u"XXX"_s));
}

TEST_F(FileManagerAdditionsTest, DisplayStringsShowTheHomeAsTheUserName)
{
    QDir().mkpath(home() + u"/Documents/Report"_s);
    // Outside a bundle the separator key has no translation: the key is used.
    const auto shown = [](const QStringList &names) { return names.join(u" \\U25B9 "_s); };
    EXPECT_EQ(getDisplayStringForPath(fm, home() + u"/Documents/Report"_s),
              shown({ userName(), u"Documents"_s, u"Report"_s }));
    EXPECT_EQ(getDisplayStringForPath(fm, home()), userName());
    EXPECT_EQ(getDisplayStringForPath(fm, u"/usr/share"_s),
              shown({ u"/"_s, u"usr"_s, u"share"_s }));
    EXPECT_EQ(getDisplayStringForPath(fm, home() + u"/missing"_s), std::nullopt);
    // A missing home has no components, and no components lead every path.
    const QByteArray gone = QFile::encodeName(home() + u"/gone"_s);
    const test::ScopedEnvironment noHome { { "HOME", gone.constData() } };
    EXPECT_EQ(getDisplayStringForPath(fm, u"/usr/share"_s),
              shown({ userName(), u"/"_s, u"usr"_s, u"share"_s }));
}

} // namespace
