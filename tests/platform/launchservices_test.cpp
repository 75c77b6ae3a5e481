// Launch services against real desktop entries registered with
// update-desktop-database in a throw-away data folder, and real programs.
#include "platform/launchservices.h"

#include "platform/filesystemrepresentation.h"
#include "tests/testsupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QString kScheme = QStringLiteral("com.tallowcraft.private-Lookup-app-scheme");

// GLib reads the XDG folders once per process, so the suite sets them up
// before its first query and keeps them for the life of the process.
class LaunchServicesTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_home = new test::TemporaryHome;
        s_log = s_home->path() + QStringLiteral("/requests.log");
        qputenv("RARURU_TEST_LOG", QFile::encodeName(s_log));
        s_first = makeApplication(QStringLiteral("Lookup 7.app"),
                                  QStringLiteral("org.example.Lookup"), true);
        s_second = makeApplication(QStringLiteral("Lookup 8.app"),
                                   QStringLiteral("org.example.Lookup"), true);
        makeApplication(QStringLiteral("Unrelated.app"), QStringLiteral("org.example.Unrelated"),
                        false);
        // An entry whose program lies in no bundle names no application.
        writeEntry(QStringLiteral("plain"), QStringLiteral("/bin/true %U"), kScheme);
        // The default handler of a scheme of our own, for opening without an application.
        writeEntry(QStringLiteral("recorder"),
                   quoted(s_first + QStringLiteral("/Contents/MacOS/run")) + QStringLiteral(" %u"),
                   QStringLiteral("x-raruru-test"));
        test::writeFile(
            s_home->configHome() + QStringLiteral("/mimeapps.list"),
            "[Default Applications]\nx-scheme-handler/x-raruru-test=recorder.desktop\n");
        const int rc
            = QProcess::execute(QStringLiteral("update-desktop-database"), { applications() });
        ASSERT_EQ(rc, 0) << "update-desktop-database";
    }
    static void TearDownTestSuite() { delete s_home; }

    static QString applications()
    {
        return s_home->path() + QStringLiteral("/.local/share/applications");
    }
    static QString quoted(const QString &path) { return u'"' + path + u'"'; }

    static void writeEntry(const QString &id, const QString &exec, const QString &scheme)
    {
        test::writeFile(
            applications() + u'/' + id + QStringLiteral(".desktop"),
            QStringLiteral(
                "[Desktop "
                "Entry]\nType=Application\nName=%1\nExec=%2\nMimeType=x-scheme-handler/%3;\n")
                .arg(id, exec, scheme)
                .toUtf8());
    }

    // A bundle whose program appends its arguments, one per line, to the log.
    static QString makeApplication(const QString &name, const QString &identifier,
                                   bool claimsScheme)
    {
        const QString bundle = s_home->path() + QStringLiteral("/Applications/") + name;
        test::makeBundle(bundle,
                         { { QStringLiteral("CFBundleIdentifier"), identifier },
                           { QStringLiteral("CFBundleExecutable"), QStringLiteral("run") } });
        const QString program = bundle + QStringLiteral("/Contents/MacOS/run");
        test::writeFile(program,
                        "#!/bin/sh\n{ echo start; for a in \"$@\"; do echo \"$a\"; done; } >> "
                        "\"$RARURU_TEST_LOG\"\n");
        ::chmod(QFile::encodeName(program).constData(), 0755);
        writeEntry(QFileInfo(name).baseName().replace(u' ', u'-'),
                   quoted(program) + QStringLiteral(" %U"),
                   claimsScheme ? kScheme : QStringLiteral("x-nobody"));
        return bundle;
    }

    // The log's lines once it holds 'lines' of them (programs run detached).
    static QStringList waitForLog(qsizetype lines)
    {
        QDeadlineTimer deadline(10000);
        QStringList log;
        do {
            log = QString::fromUtf8(test::readFile(s_log)).split(u'\n', Qt::SkipEmptyParts);
            if (log.size() >= lines)
                break;
            QThread::msleep(20);
        } while (!deadline.hasExpired());
        QFile::remove(s_log);
        return log;
    }

    static test::TemporaryHome *s_home;
    static QString s_log, s_first, s_second;
};

test::TemporaryHome *LaunchServicesTest::s_home = nullptr;
QString LaunchServicesTest::s_log;
QString LaunchServicesTest::s_first;
QString LaunchServicesTest::s_second;

TEST_F(LaunchServicesTest, ApplicationsClaimingASchemeAreTheirBundles)
{
    auto services = LaunchServices::create();
    const auto found = services->applicationURLsForURL(kScheme + QStringLiteral(":fake"));
    ASSERT_TRUE(found);
    QStringList sorted = *found;
    sorted.sort();
    EXPECT_EQ(sorted, (QStringList { s_first, s_second }));

    for (const QString &url : { QStringLiteral("com.tallowcraft.private-Nobody-app-scheme:fake"),
                                QStringLiteral("no scheme"), QStringLiteral(":fake"), QString() })
        EXPECT_FALSE(services->applicationURLsForURL(url)) << url.toStdString();
}

TEST_F(LaunchServicesTest, ApplicationsByBundleIdentifier)
{
    auto services = LaunchServices::create();
    const auto lookup
        = services->absolutePathForAppBundleWithIdentifier(QStringLiteral("ORG.EXAMPLE.UNRELATED"));
    EXPECT_EQ(lookup, s_home->path() + QStringLiteral("/Applications/Unrelated.app"));
    EXPECT_FALSE(
        services->absolutePathForAppBundleWithIdentifier(QStringLiteral("org.example.None")));
}

TEST_F(LaunchServicesTest, OpeningPassesTheRecordAndEncodedUrls)
{
    auto services = LaunchServices::create();
    EventDescriptor record = EventDescriptor::recordDescriptor();
    record.setDescriptorForKeyword(EventDescriptor::descriptorWithString(QStringLiteral("express")),
                                   0x65787072);
    const QString volume = stringWithFileSystemRepresentation(QByteArray("/media/My Disc \xff%"));
    const QByteArray url = fileURLWithPath(volume);
    EXPECT_EQ(url, "file:///media/My%20Disc%20%FF%25");

    EXPECT_EQ(services->openFromURLSpec({ s_first, { url }, record, 0x10100 }), 0);
    EXPECT_EQ(waitForLog(4),
              (QStringList { QStringLiteral("start"), QStringLiteral("--event-param"),
                             QStringLiteral("expr=express"), QString::fromLatin1(url) }));

    EXPECT_EQ(services->openFromURLSpec({ s_second, { url }, std::nullopt, 0x10100 }), 0);
    EXPECT_EQ(waitForLog(2), (QStringList { QStringLiteral("start"), QString::fromLatin1(url) }));

    EXPECT_NE(services->openFromURLSpec(
                  { s_home->path() + QStringLiteral("/Missing.app"), { url }, {}, 0 }),
              0);
}

TEST_F(LaunchServicesTest, OpeningWithoutAnApplicationUsesTheDefaultHandler)
{
    auto services = LaunchServices::create();
    EXPECT_EQ(services->openFromURLSpec({ std::nullopt, { "x-raruru-test:hello" }, {}, 0 }), 0);
    EXPECT_EQ(waitForLog(2),
              (QStringList { QStringLiteral("start"), QStringLiteral("x-raruru-test:hello") }));
    EXPECT_NE(services->openFromURLSpec({ std::nullopt, { "x-nothing-handles-this:1" }, {}, 0 }),
              0);
}

} // namespace
