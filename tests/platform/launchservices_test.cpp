// Launch services against real desktop entries registered with
// update-desktop-database in a throw-away data folder, and real programs.
#include <gio/gdesktopappinfo.h>

#include "platform/launchservices.h"

#include "platform/filesystemrepresentation.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kScheme = u"com.tallowcraft.private-Lookup-app-scheme"_s;

// GLib reads the XDG folders once per process, so the suite sets them up
// before its first query and keeps them for the life of the process.
class LaunchServicesTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_home = new test::TemporaryHome;
        s_log = s_home->path() + u"/requests.log"_s;
        qputenv("QUILLMONT_REQUEST_LOG", QFile::encodeName(s_log));
        s_first = makeApplication(u"Lookup 7.app"_s, u"org.example.Lookup"_s, kScheme);
        makeApplication(u"Unrelated.app"_s, u"org.example.Unrelated"_s, u"x-nobody"_s);
        // An entry whose program lies in no bundle names no application.
        writeEntry(u"plain"_s, u"/bin/true %U"_s, kScheme);
        writeEntry(u"bare"_s, u"run %U"_s, u"x-raruru-bare"_s); // found on PATH
        // The default handler of a scheme of our own, for opening without an application.
        writeEntry(u"recorder"_s, u"\"%1/Contents/MacOS/run\" %u"_s.arg(s_first),
                   u"x-raruru-test"_s);
        test::writeFile(
            s_home->configHome() + u"/mimeapps.list"_s,
            "[Default Applications]\nx-scheme-handler/x-raruru-test=recorder.desktop\n");
        ASSERT_EQ(QProcess::execute(u"update-desktop-database"_s,
                                    { s_home->path() + u"/.local/share/applications"_s }),
                  0);
    }
    static void TearDownTestSuite() { delete s_home; }

    static void writeEntry(const QString &id, const QString &exec, const QString &scheme)
    {
        test::writeFile(
            s_home->path() + u"/.local/share/applications/%1.desktop"_s.arg(id),
            u"[Desktop Entry]\nType=Application\nName=%1\nExec=%2\nMimeType=x-scheme-handler/%3;\n"_s
                .arg(id, exec, scheme)
                .toUtf8());
    }

    // A bundle whose program, the test host program, logs its arguments.
    static QString makeApplication(const QString &name, const QString &identifier,
                                   const QString &scheme)
    {
        const QString bundle = s_home->path() + u"/Applications/"_s + name;
        test::makeBundle(
            bundle,
            { { u"CFBundleIdentifier"_s, identifier }, { u"CFBundleExecutable"_s, u"run"_s } });
        const QString program = bundle + u"/Contents/MacOS/run"_s;
        QFile::remove(program);
        EXPECT_TRUE(QFile::copy(QStringLiteral(RARURU_HOST_PROGRAM), program));
        writeEntry(QFileInfo(name).baseName().replace(u' ', u'-'), u"\"%1\" %U"_s.arg(program),
                   scheme);
        return bundle;
    }

    // The arguments of the one start the log records (programs run detached).
    static QStringList started()
    {
        const auto requests = test::hostRequests(s_log, 1);
        QFile::remove(s_log);
        EXPECT_EQ(requests.size(), 1);
        s_lastStart = requests.value(0);
        return s_lastStart[u"arguments"_s].toVariant().toStringList();
    }

    static inline test::TemporaryHome *s_home = nullptr;
    static inline QString s_log, s_first;
    static inline QJsonObject s_lastStart;
};

TEST_F(LaunchServicesTest, ApplicationsBySchemeAndByIdentifier)
{
    auto services = LaunchServices::create();
    // Several bundles under one scheme are the host lookup's test.
    EXPECT_EQ(services->applicationURLsForURL(kScheme + u":fake"_s), QStringList { s_first });
    for (const QString &url :
         { u"com.tallowcraft.private-Nobody-app-scheme:fake"_s, u"no scheme"_s, u":fake"_s })
        EXPECT_FALSE(services->applicationURLsForURL(url)) << url.toStdString();

    EXPECT_EQ(services->absolutePathForAppBundleWithIdentifier(u"ORG.EXAMPLE.UNRELATED"_s),
              s_home->path() + u"/Applications/Unrelated.app"_s);
    EXPECT_FALSE(services->absolutePathForAppBundleWithIdentifier(u"org.example.None"_s));

    const QByteArray path = QFile::encodeName(s_first + u"/Contents/MacOS"_s);
    const test::ScopedEnvironment environment { { "PATH", path.constData() } };
    EXPECT_EQ(services->applicationURLsForURL(u"x-raruru-bare:x"_s), QStringList { s_first });
}

TEST_F(LaunchServicesTest, OpeningPassesTheRecordAndEncodedUrls)
{
    auto services = LaunchServices::create();
    EventDescriptor record = EventDescriptor::recordDescriptor();
    record.setDescriptorForKeyword(EventDescriptor::descriptorWithString(u"express"_s), 0x65787072);
    const QString volume = stringWithFileSystemRepresentation(QByteArray("/media/My Disc \xff%"));
    const QByteArray url = fileURLWithPath(volume);
    EXPECT_EQ(url, "file:///media/My%20Disc%20%FF%25");

    // Started from a helper that ignores SIGPIPE and whose output is a pipe
    // someone waits on: the program gets neither. It stays running to be looked at.
    int output[2];
    ASSERT_EQ(::pipe(output), 0);
    const int savedOutput = ::dup(STDOUT_FILENO);
    ::dup2(output[1], STDOUT_FILENO);
    const auto previous = ::signal(SIGPIPE, SIG_IGN);
    qputenv("QUILLMONT_STAY_RUNNING", "1");
    const int opened = services->openFromURLSpec({ s_first, { url }, record, 0x10100 });
    qunsetenv("QUILLMONT_STAY_RUNNING");
    ::signal(SIGPIPE, previous);
    ::dup2(savedOutput, STDOUT_FILENO);
    for (const int fd : { savedOutput, output[0], output[1] })
        ::close(fd);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(started(),
              (QStringList { u"--event-param"_s, u"expr=express"_s, QString::fromLatin1(url) }));
    EXPECT_EQ(s_lastStart[u"ignoredSignals"_s].toString().toULongLong(nullptr, 16)
                  & (1u << (SIGPIPE - 1)),
              0u);
    EXPECT_FALSE(s_lastStart[u"outputIsPipe"_s].toBool());
    // A session of its own, input from /dev/null, and reaped from the event
    // loop once it ends: no zombie of ours stays behind.
    const auto pid = pid_t(s_lastStart[u"pid"_s].toInteger());
    EXPECT_EQ(::getsid(pid), pid);
    EXPECT_EQ(QFile::symLinkTarget(u"/proc/%1/fd/0"_s.arg(pid)), u"/dev/null"_s);
    // Its output and errors both go where ours go (a prompt's output is its
    // pipe to the helper), or nowhere when that is a pipe.
    struct stat error
    {
    };
    const bool errorIsPipe = ::fstat(STDERR_FILENO, &error) == 0 && S_ISFIFO(error.st_mode);
    for (const int stream : { 1, 2 }) {
        EXPECT_EQ(QFile::symLinkTarget(u"/proc/%1/fd/%2"_s.arg(pid).arg(stream)),
                  errorIsPipe ? u"/dev/null"_s : QFile::symLinkTarget(u"/proc/self/fd/2"_s));
    }
    ::kill(pid, SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([pid] { return !QFile::exists(u"/proc/%1"_s.arg(pid)); }));
    EXPECT_NE(services->openFromURLSpec({ s_home->path() + u"/Missing.app"_s, { url }, {}, 0 }), 0);

    // Without an application, each URL goes to its scheme's default handler.
    EXPECT_EQ(services->openFromURLSpec({ std::nullopt, { "x-raruru-test:hello" }, {}, 0 }), 0);
    EXPECT_EQ(started(), (QStringList { u"x-raruru-test:hello"_s }));
    EXPECT_NE(services->openFromURLSpec({ std::nullopt, { "x-nothing-handles-this:1" }, {}, 0 }),
              0);
}

TEST_F(LaunchServicesTest, RegisteringTheEntriesABundleCarries)
{
    auto services = LaunchServices::create();
    const QString applications = s_home->path() + u"/.local/share/applications/"_s;
    const auto bundleCarrying = [](const QString &name) {
        const QString bundle = s_home->path() + u"/Host $`\\\"/"_s + name;
        test::makeBundle(bundle, { { u"CFBundleExecutable"_s, u"run"_s } });
        test::writeFile(bundle + u"/Contents/Resources/org.example.Carried.desktop"_s,
                        "# kept\n[Desktop Entry]\nType=Application\nName=Carried\n"
                        "Comment[de]=Mitgebracht\nNoDisplay=true\n");
        return bundle;
    };
    const QString first = bundleCarrying(u"First.app"_s), second = bundleCarrying(u"Second.app"_s);
    const QString entry = applications + u"org.example.Carried.desktop"_s;
    const auto inode = [&entry] {
        struct stat status
        {
        };
        return ::stat(QFile::encodeName(entry).constData(), &status) == 0 ? status.st_ino : 0;
    };

    ASSERT_TRUE(services->registerApplication(first));
    // As the desktop reads it: GIO's own parser, Exec unquoted to the program.
    std::unique_ptr<GDesktopAppInfo, decltype(&g_object_unref)> info(
        g_desktop_app_info_new_from_filename(QFile::encodeName(entry).constData()), g_object_unref);
    ASSERT_TRUE(info);
    EXPECT_STREQ(g_app_info_get_name(G_APP_INFO(info.get())), "Carried");
    EXPECT_TRUE(g_desktop_app_info_get_nodisplay(info.get()));
    gchar **argv = nullptr;
    ASSERT_TRUE(g_shell_parse_argv(g_app_info_get_commandline(G_APP_INFO(info.get())), nullptr,
                                   &argv, nullptr));
    EXPECT_EQ(QString::fromUtf8(argv[0]).replace(u"%%"_s, u"%"_s),
              first + u"/Contents/MacOS/run"_s);
    g_strfreev(argv);
    EXPECT_TRUE(test::readFile(entry).contains("# kept\n"));
    EXPECT_TRUE(test::readFile(entry).contains("Comment[de]=Mitgebracht\n"));
    // The same text again is not written again: desktops watching the folder sleep on.
    const auto written = inode();
    ASSERT_TRUE(services->registerApplication(first));
    EXPECT_EQ(inode(), written);

    // Only the copy the entry starts takes it away.
    EXPECT_TRUE(services->unregisterApplication(second));
    EXPECT_TRUE(QFile::exists(entry));
    EXPECT_TRUE(services->unregisterApplication(first));
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(services->registerApplication(s_home->path() + u"/Missing.app"_s));
}

} // namespace
