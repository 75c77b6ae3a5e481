// End to end: the built helper bundle started as a login starts it, a real
// ISO 9660 image mounted through fuseiso in a private mount namespace, the
// stand-in host product, and Xvfb, all driven by scripts/demo.
#include "platform/launchservices.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct Outcome
{
    bool window = false;
    int detectcdRuns = 0;
    QList<QJsonObject> requests;
    QString volume;
};

// Runs the demo non-interactively and reads its RESULT lines.
std::optional<Outcome> runDemo(const QStringList &options)
{
    QProcess demo;
    demo.setProcessChannelMode(QProcess::SeparateChannels);
    // Under ASan, its strict string checks flag libxkbcommon-x11's strndup of
    // a buffer that is not NUL-terminated (strndup stops at the length given);
    // that is the X keyboard library's, not ours.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.contains(QStringLiteral("ASAN_OPTIONS"))) {
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS"))
                               + QStringLiteral(":strict_string_checks=0"));
    }
    demo.setProcessEnvironment(environment);
    demo.start(QStringLiteral(RARURU_DEMO),
               QStringList { QStringLiteral("--non-interactive"), QStringLiteral("--build-dir"),
                             QStringLiteral(RARURU_BUILD_DIR), QStringLiteral("--screenshot"),
                             QStringLiteral(RARURU_BUILD_DIR "/e2e-prompt.png") }
                   + options);
    if (!demo.waitForFinished(90000) || demo.exitCode() != 0) {
        ADD_FAILURE() << "the demo failed: " << demo.readAllStandardError().toStdString();
        return std::nullopt;
    }
    Outcome outcome;
    for (const QByteArray &line : demo.readAllStandardOutput().split('\n')) {
        if (!line.startsWith("RESULT "))
            continue;
        const QByteArray rest = line.mid(7);
        const qsizetype equals = rest.indexOf('=');
        const QByteArray key = rest.left(equals);
        const QByteArray value = rest.mid(equals + 1);
        if (key == "window")
            outcome.window = value == "yes";
        else if (key == "detectcd")
            outcome.detectcdRuns = value.toInt();
        else if (key == "request")
            outcome.requests += QJsonDocument::fromJson(value).object();
        else if (key == "volume")
            outcome.volume = QString::fromUtf8(value);
    }
    return outcome;
}

TEST(EndToEnd, TheRoadOfOneMount)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the demo mounts its disc in a private mount namespace";
    const struct
    {
        const char *name;
        QStringList options;
        bool window;
        int detectcdRuns;
        bool opened; // the main host application was started with the volume
    } cases[] = {
        { "AutoLaunch 1, recognised disc: opened at once",
          { QStringLiteral("--auto-launch"), QStringLiteral("1") },
          false,
          1,
          true },
        { "AutoLaunch 2: nothing opened, detectcd ran",
          { QStringLiteral("--auto-launch"), QStringLiteral("2") },
          false,
          1,
          false },
        { "no choice stored: the prompt, answered Install",
          { QStringLiteral("--auto-launch"), QStringLiteral("none") },
          true,
          1,
          true },
        { "not an installer: nothing runs",
          { QStringLiteral("--disc"), QStringLiteral("plain") },
          false,
          0,
          false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto outcome = runDemo(c.options);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->window, c.window);
        EXPECT_EQ(outcome->detectcdRuns, c.detectcdRuns);
        ASSERT_EQ(outcome->requests.size(), c.opened ? 1 : 0);
        if (c.opened) {
            const QByteArray url = fileURLWithPath(outcome->volume);
            EXPECT_EQ(outcome->requests[0][QStringLiteral("arguments")].toVariant().toStringList(),
                      QStringList { QString::fromUtf8(url) });
            EXPECT_TRUE(outcome->requests[0][QStringLiteral("program")].toString().endsWith(
                QStringLiteral("/Quillmont.app/Contents/MacOS/Quillmont")));
        }
    }
}

} // namespace
