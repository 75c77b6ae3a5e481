// raruru-cdtools as a host product runs it: a real process, from inside a
// host application bundle that carries the helper.
#include "tests/testsupport.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

int run(const QString &tool, const QStringList &arguments, QByteArray *errors = nullptr)
{
    QProcess process;
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
}

} // namespace
