// raruru-cdtools as a host product runs it: a real process, from inside a
// host application bundle that carries the helper.
#include "tests/testsupport.h"

#include "platform/childprocess.h"
#include "platform/launchservices.h"
#include "platform/propertylist.h"
#include "platform/sessioninstance.h"

#include <QDir>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <tuple>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int run(const QString &tool, const QStringList &arguments, QByteArray *errors = nullptr,
        const std::function<void()> &childSetup = {})
{
    QProcess process;
    if (childSetup)
        process.setChildProcessModifier(childSetup);
    process.start(tool, arguments);
    process.waitForFinished(60000);
    if (errors)
        *errors = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

TEST(CDToolsTool, CommandLineAndInstallerTest)
{
    test::TemporaryHome home;
    test::writeFile(home.path() + u"/disc/SETUP.EXE"_s, "MZ");
    // A command line split at blanks, %1 the home folder, and its exit status.
    const std::pair<const char *, int> cases[] = {
        { "", 2 },
        { "--help", 0 },
        { "frobnicate", 2 },
        { "install extra", 2 },
        { "is-valid-installer-volume %1/disc", 0 },
        { "is-valid-installer-volume %1", 1 },
        { "update-preferences x id", 2 },
        { "install", 1 }, // not inside a host bundle
    };
    for (const auto &[line, status] : cases) {
        SCOPED_TRACE(line);
        QByteArray errors;
        QStringList arguments = QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts);
        arguments.replaceInStrings(u"%1"_s, home.path());
        EXPECT_EQ(run(QStringLiteral(RARURU_CDTOOLS), arguments, &errors), status);
        EXPECT_EQ(errors.contains("usage: raruru-cdtools"), status == 2) << errors.constData();
    }
}

TEST(CDToolsTool, InstallsTheHelperTheHostCarries)
{
    test::TemporaryHome home;
    const QString log = home.path() + u"/requests.log"_s;
    qputenv("QUILLMONT_REQUEST_LOG", QFile::encodeName(log));
    const QString host = test::installHostApp(
        { u"--applications"_s, home.path() + u"/Apps"_s, u"--no-register"_s });
    const QString helper = test::installHelper(host + u"/Contents/Resources"_s);
    const QString tool = host + u"/Contents/MacOS/raruru-cdtools"_s;
    ASSERT_TRUE(QFile::copy(QStringLiteral(RARURU_CDTOOLS), tool));

    EXPECT_EQ(run(tool, { u"is-latest-version"_s }), 1) << "nothing registered yet";
    EXPECT_EQ(run(tool, { u"install"_s }), 0);
    const QString entry = home.configHome() + u"/autostart/quillmont-di-raruru.desktop"_s;
    EXPECT_TRUE(test::readFile(entry).contains("X-Bundle-Path=" + helper.toUtf8() + '\n'));
    const auto requests = test::hostRequests(log, 1);
    ASSERT_EQ(requests.size(), 1) << "the helper was started";
    EXPECT_EQ(requests[0][u"program"_s].toString(), helper + u"/Contents/MacOS/Quillmont"_s);
    EXPECT_EQ(run(tool, { u"is-latest-version"_s }), 0);

    EXPECT_EQ(run(tool, { u"remove"_s }), 0);
    EXPECT_FALSE(QFileInfo::exists(entry));

    // It speaks the user's language, from the translations of the helper it
    // carries; one that helper lacks, or whose file is cut short, leaves
    // English, said once.
    const QString translations = helper + u"/Contents/Resources/translations/raruru_"_s;
    test::writeFile(translations + u"fr.qm"_s,
                    test::readFile(QStringLiteral(RARURU_TRANSLATIONS "/raruru_fr.qm")));
    const QByteArray german = test::readFile(QStringLiteral(RARURU_TRANSLATIONS "/raruru_de.qm"));
    for (const auto &[lang, said, file] :
         { std::tuple("fr_FR.UTF-8",
                      "raruru-cdtools: commande inconnue\n\nUtilisation : ", QByteArray()),
           std::tuple("de_DE.UTF-8", "The translation ", QByteArray()),
           std::tuple("de_DE.UTF-8", "The translation ", german.first(german.size() - 7)) }) {
        if (!file.isEmpty())
            test::writeFile(translations + u"de.qm"_s, file);
        const test::ScopedEnvironment environment { { "LANG", lang },
                                                    { "LANGUAGE", nullptr },
                                                    { "LC_ALL", nullptr },
                                                    { "LC_MESSAGES", nullptr } };
        QByteArray errors;
        EXPECT_EQ(run(tool, { u"frobnicate"_s }, &errors), 2);
        EXPECT_TRUE(errors.startsWith(said)) << errors.constData();
        EXPECT_EQ(errors.count("usage: raruru-cdtools"), lang[0] == 'd' ? 1 : 0);
        EXPECT_EQ(errors.count("The translation "), lang[0] == 'd' ? 1 : 0);
    }
}

// Every kind of program the helper and the tool start, started while seven
// pipes are open without O_CLOEXEC (in the tool's case, as 3 to 9 of a
// shell's `3>&1`): each gets its standard streams and nothing else; the copy
// also the session's lock, as 3.
TEST(CDToolsTool, StartedProgramsGetOnlyTheirOwnDescriptors)
{
    test::TemporaryHome home;
    const QString log = home.path() + u"/requests.log"_s;
    const test::ScopedEnvironment environment { { "QUILLMONT_REQUEST_LOG",
                                                  QFile::encodeName(log).constData() } };
    const QString host = test::installHostApp(
        { u"--applications"_s, home.path() + u"/Apps"_s, u"--no-register"_s });
    (void)test::installHelper(host + u"/Contents/Resources"_s);
    const QString tool = host + u"/Contents/MacOS/raruru-cdtools"_s;
    ASSERT_TRUE(QFile::copy(QStringLiteral(RARURU_CDTOOLS), tool));
    const QByteArray program = RARURU_HOST_PROGRAM;
    int pipes[7][2];
    for (auto &ends : pipes)
        ASSERT_EQ(::pipe(ends), 0);
    const auto launchHost = [&] {
        EXPECT_EQ(LaunchServices::create()->openFromURLSpec(
                      { host, { "file:///media/x" }, std::nullopt, 0 }),
                  0);
    };
    const QString lock = home.path() + u"/lock.lock"_s;

    std::unique_ptr<ChildProcess> child;
    const struct
    {
        const char *kind;
        std::function<void()> start;
        const char *passed = nullptr; // descriptor 3's file, when one is passed on
    } cases[] = {
        { "detectcd", [&] { child = ChildProcess::start(program, {}); } },
        { "prompt",
          [&] {
              child = ChildProcess::start(program, {}, { {}, 1024, true });
          } },
        { "host application", launchHost },
        { "copy",
          [&] {
              auto claim = SessionInstance::claim(home.path(), u"lock"_s, {});
              ASSERT_TRUE(claim.instance && claim.instance->passToNextProgram());
              launchHost();
              ::unsetenv("RARURU_SESSION_INSTANCE_FD");
          },
          "lock" },
        { "helper started by install",
          [&] {
              QProcess shell;
              shell.start(u"bash"_s,
                          { u"-c"_s,
                            u"exec 3>&1 4>&1 5>&1 6>&1 7>&1 8>&1 9>&1; exec \"$0\" install"_s,
                            tool });
              EXPECT_TRUE(shell.waitForFinished(20000));
          } },
    };
    for (qsizetype i = 0; i < qsizetype(std::size(cases)); ++i) {
        SCOPED_TRACE(cases[i].kind);
        cases[i].start();
        const auto requests = test::hostRequests(log, i + 1);
        ASSERT_EQ(requests.size(), i + 1);
        const QJsonObject descriptors = requests[i][u"descriptors"_s].toObject();
        QStringList expected { u"0"_s, u"1"_s, u"2"_s };
        if (cases[i].passed) {
            expected += u"3"_s;
            EXPECT_EQ(descriptors[u"3"_s].toString(), lock);
        }
        EXPECT_EQ(descriptors.keys(), expected);
        child.reset();
    }
    for (auto &ends : pipes) {
        ::close(ends[0]);
        ::close(ends[1]);
    }
}

// A binary domain {"Host": the given string object}, as a host may write it.
QByteArray binaryDomain(const QByteArray &stringObject)
{
    QByteArray list = QByteArray("bplist00\xD1\x01\x02\x54Host", 16) + stringObject;
    const char table = char(list.size());
    list += QByteArray("\x08\x0B\x10", 3) + QByteArray(6, '\0') + "\x01\x01";
    return list + QByteArray("\0\0\0\0\0\0\0\x03", 8) + QByteArray(15, '\0') + table;
}

TEST(CDToolsTool, UpdateKeepsTheHostsValuesExactlyAndInTheirForm)
{
    test::TemporaryHome home;
    const QString name = u"com.tallowcraft.Quillmont"_s;
    const QString file = home.domainPath(name);
    const QString converted = home.path() + u"/converted"_s;
    const struct
    {
        const char *what;
        QByteArray original;
        QVariant host; // what "Host" holds before and after
        QByteArray stored; // found in the domain file after the update
        const char *format; // that plistutil, reading the file on its own, converts to
        QByteArray converted; // found in what plistutil writes (it cuts at NUL)
    } cases[] = {
        { "NUL, binary", binaryDomain(QByteArray("\x5F\x10\x15KEY-1234\0-SECRET-TAIL", 24)),
          QString::fromLatin1("KEY-1234\0-SECRET-TAIL", 21),
          QByteArray("\x5F\x10\x15KEY-1234\0-SECRET-TAIL", 24), "xml", "KEY-1234" },
        { "plain, binary", binaryDomain("\x55plain"), u"plain"_s, "\x55plain", "xml",
          "<string>plain</string>" },
        // \123 is 0x53, a three-character string, in octal: a letter may follow.
        { "U+0001, binary", binaryDomain("\123a\001b"), u"a\u0001b"_s, "\123a\001b", "xml",
          "<string>a\001b</string>" },
        { "U+FFFE, binary", binaryDomain(QByteArray("\x62\0a\xFF\xFE", 5)), u"a\uFFFE"_s,
          QByteArray("\x62\0a\xFF\xFE", 5), "xml", "<string>a\xEF\xBF\xBE</string>" },
        { "CR, XML", "<plist><dict><key>Host</key><string>a&#13;b</string></dict></plist>",
          u"a\rb"_s, "<string>a&#13;b</string>", "bin", "\123a\rb" },
        { "-0.0, XML", "<plist><dict><key>Host</key><real>-0.0</real></dict></plist>", -0.0,
          "<real>-0</real>", "bin", QByteArray("\x22\x80\0\0\0", 5) },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        test::writeFile(file, c.original);
        ASSERT_EQ(run(QStringLiteral(RARURU_CDTOOLS),
                      { u"update-preferences"_s, u"1"_s, name, u"scheme"_s }),
                  0);
        const QByteArray after = test::readFile(file);
        EXPECT_EQ(PropertyList::formatOf(after), PropertyList::formatOf(c.original));
        EXPECT_TRUE(after.contains(c.stored)) << after.toStdString();
        const QVariantMap domain = PropertyList::fromData(after).value_or(QVariant()).toMap();
        EXPECT_EQ(domain.value(u"Host"_s), c.host);
        EXPECT_EQ(domain.value(u"AutoLaunch"_s), QVariant(qint64(1)));
        ASSERT_EQ(run(u"plistutil"_s,
                      { u"-i"_s, file, u"-f"_s, QLatin1String(c.format), u"-o"_s, converted }),
                  0);
        EXPECT_TRUE(test::readFile(converted).contains(c.converted));
    }

    // A write that fails (the file size limit, here) says so, and leaves the file.
    const QByteArray big = "<plist><dict><key>Host</key><string>" + QByteArray(200, 'x')
        + "</string></dict></plist>";
    test::writeFile(file, big);
    QByteArray errors;
    EXPECT_EQ(run(QStringLiteral(RARURU_CDTOOLS), { u"update-preferences"_s, u"1"_s, name },
                  &errors,
                  [] {
                      ::signal(SIGXFSZ, SIG_IGN);
                      const rlimit limit { 64, 64 };
                      ::setrlimit(RLIMIT_FSIZE, &limit);
                  }),
              1);
    EXPECT_EQ(errors.count('\n'), 1) << errors.toStdString();
    EXPECT_TRUE(errors.contains(name.toUtf8())) << errors.toStdString();
    EXPECT_EQ(test::readFile(file), big);
}

} // namespace
