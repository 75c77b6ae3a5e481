// raruru-cdtools as a host product runs it: a real process, from inside a
// host application bundle that carries the helper.
#include "tests/testsupport.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

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
    const QString tool = QStringLiteral(RARURU_CDTOOLS);
    test::writeFile(home.path() + QStringLiteral("/disc/SETUP.EXE"), "MZ");
    QDir().mkpath(home.path() + QStringLiteral("/plain/sub"));
    const struct
    {
        QStringList arguments;
        int status;
    } cases[] = {
        { {}, 2 },
        { { QStringLiteral("--help") }, 0 },
        { { QStringLiteral("frobnicate") }, 2 },
        { { QStringLiteral("install"), QStringLiteral("extra") }, 2 },
        { { QStringLiteral("is-valid-installer-volume") }, 2 },
        { { QStringLiteral("is-valid-installer-volume"), home.path() + QStringLiteral("/disc") },
          0 },
        { { QStringLiteral("is-valid-installer-volume"), home.path() + QStringLiteral("/plain") },
          1 },
        { { QStringLiteral("update-preferences"), QStringLiteral("x"), QStringLiteral("id") }, 2 },
        { { QStringLiteral("update-preferences"), QStringLiteral("1") }, 2 },
        { { QStringLiteral("install") }, 1 }, // not inside a host bundle
    };
    for (const auto &c : cases) {
        QByteArray errors;
        EXPECT_EQ(run(tool, c.arguments, &errors), c.status)
            << c.arguments.join(u' ').toStdString();
        if (c.status == 2) {
            EXPECT_TRUE(errors.contains("usage: raruru-cdtools")) << errors.constData();
        }
    }
}

TEST(CDToolsTool, InstallsTheHelperTheHostCarries)
{
    test::TemporaryHome home;
    const QString log = home.path() + QStringLiteral("/requests.log");
    qputenv("QUILLMONT_REQUEST_LOG", QFile::encodeName(log));
    const QString host = test::installHostApp({ QStringLiteral("--applications"),
                                                home.path() + QStringLiteral("/Apps"),
                                                QStringLiteral("--no-register") });
    const QString helper = test::installHostApp(
        { QStringLiteral("--applications"), host + QStringLiteral("/Contents/Resources"),
          QStringLiteral("--name"), QStringLiteral("Quillmont DI Raruru.app"),
          QStringLiteral("--identifier"), QStringLiteral("com.tallowcraft.quillmont DI raruru"),
          QStringLiteral("--version"), QStringLiteral("1.0"), QStringLiteral("--no-register") });
    const QString tool = host + QStringLiteral("/Contents/MacOS/raruru-cdtools");
    ASSERT_TRUE(QFile::copy(QStringLiteral(RARURU_CDTOOLS), tool));

    EXPECT_EQ(run(tool, { QStringLiteral("is-latest-version") }), 1) << "nothing registered yet";
    EXPECT_EQ(run(tool, { QStringLiteral("install") }), 0);
    const QString entry
        = home.configHome() + QStringLiteral("/autostart/quillmont-di-raruru.desktop");
    EXPECT_TRUE(test::readFile(entry).contains("X-Bundle-Path=" + helper.toUtf8() + '\n'));
    const auto requests = test::hostRequests(log, 1);
    ASSERT_EQ(requests.size(), 1) << "the helper was started";
    EXPECT_EQ(requests[0][QStringLiteral("program")].toString(),
              helper + QStringLiteral("/Contents/MacOS/Quillmont"));
    EXPECT_EQ(run(tool, { QStringLiteral("is-latest-version") }), 0);

    EXPECT_EQ(run(tool, { QStringLiteral("remove") }), 0);
    EXPECT_FALSE(QFileInfo::exists(entry));
}

} // namespace
