// End to end: the built helper bundle started as a login starts it, a real
// ISO 9660 image mounted through fuseiso in a private mount namespace, the
// stand-in host product, and Xvfb, all driven by scripts/demo.
#include "platform/launchservices.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Outcome
{
    bool window = false;
    int windows = 0; // visible windows of the helper
    int helpers = 0; // helper processes running at the end
    int detectcdRuns = 0;
    QString size; // of the prompt's contents, "WIDTHxHEIGHT"
    QString sway; // what a Wayland compositor's window tree says of the prompt
    int repeatedLogLines = -1;
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
    if (environment.contains(u"ASAN_OPTIONS"_s)) {
        environment.insert(u"ASAN_OPTIONS"_s,
                           environment.value(u"ASAN_OPTIONS"_s) + u":strict_string_checks=0"_s);
    }
    demo.setProcessEnvironment(environment);
    demo.start(QStringLiteral(RARURU_DEMO),
               QStringList { u"--non-interactive"_s, u"--build-dir"_s,
                             QStringLiteral(RARURU_BUILD_DIR), u"--screenshot"_s,
                             QStringLiteral(RARURU_BUILD_DIR "/e2e-prompt.png") }
                   + options);
    if (!demo.waitForFinished(90000) || demo.exitCode() != 0) {
        ADD_FAILURE() << "the demo failed: " << demo.readAllStandardError().toStdString();
        return std::nullopt;
    }
    Outcome outcome;
    for (const QByteArray &line : demo.readAllStandardOutput().split('\n')) {
        const QByteArray value = line.mid(line.indexOf('=') + 1);
        if (line.startsWith("RESULT window="))
            outcome.window = value == "yes";
        else if (line.startsWith("RESULT windows="))
            outcome.windows = value.toInt();
        else if (line.startsWith("RESULT helpers="))
            outcome.helpers = value.toInt();
        else if (line.startsWith("RESULT size="))
            outcome.size = QString::fromUtf8(value);
        else if (line.startsWith("RESULT repeated-log-lines="))
            outcome.repeatedLogLines = value.toInt();
        else if (line.startsWith("RESULT sway="))
            outcome.sway = QString::fromUtf8(value);
        else if (line.startsWith("RESULT detectcd="))
            outcome.detectcdRuns = value.toInt();
        else if (line.startsWith("RESULT request="))
            outcome.requests += QJsonDocument::fromJson(value).object();
        else if (line.startsWith("RESULT volume="))
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
        QStringList options; // of the demo
        bool window;
        int detectcdRuns;
        bool opened; // the main host application was started with the volume
        QString sway {}; // expected of a Wayland compositor's window tree
    } cases[] = {
        { "AutoLaunch 1, recognised disc: opened at once",
          { u"--auto-launch"_s, u"1"_s },
          false,
          1,
          true },
        { "AutoLaunch 2: nothing opened, detectcd ran",
          { u"--auto-launch"_s, u"2"_s },
          false,
          1,
          false },
        { "no choice stored: the prompt, answered Install",
          { u"--auto-launch"_s, u"none"_s },
          true,
          1,
          true },
        { "not an installer: nothing runs", { u"--disc"_s, u"plain"_s }, false, 0, false },
        { "five starts, two at once: one helper, one prompt",
          { u"--starts"_s, u"5"_s },
          true,
          1,
          true },
        { "a new home through a link, no cache or runtime folder",
          { u"--home"_s, u"linked"_s },
          true,
          1,
          true },
        // A tiling compositor floats the prompt at the size it asks for,
        // gives it the keyboard, and names it by the helper's desktop entry.
        { "Wayland: sway, answered from a virtual keyboard",
          { u"--session"_s, u"wayland"_s },
          true,
          1,
          true,
          u"app_id:com.tallowcraft.QuillmontDIRaruru floating:yes focused:yes"_s },
        // Opened where the user is not looking, it waits for them.
        { "Wayland: the compositor refuses the focus",
          { u"--session"_s, u"wayland"_s, u"--refuse-focus"_s },
          true,
          1,
          true,
          u"app_id:com.tallowcraft.QuillmontDIRaruru floating:yes focused:no"_s },
    };
    QStringList sizes;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto outcome = runDemo(c.options);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->window, c.window);
        EXPECT_EQ(outcome->windows, c.window ? 1 : 0);
        EXPECT_EQ(outcome->helpers, 1);
        EXPECT_EQ(outcome->detectcdRuns, c.detectcdRuns);
        EXPECT_EQ(outcome->repeatedLogLines, 0) << "what goes wrong is said once";
        if (c.window)
            sizes += outcome->size;
        EXPECT_EQ(outcome->sway, c.sway);
        ASSERT_EQ(outcome->requests.size(), c.opened ? 1 : 0);
        if (c.opened) {
            EXPECT_EQ(outcome->requests[0][u"arguments"_s].toVariant().toStringList(),
                      QStringList { QString::fromUtf8(fileURLWithPath(outcome->volume)) });
            EXPECT_TRUE(outcome->requests[0][u"program"_s].toString().endsWith(
                u"/Quillmont.app/Contents/MacOS/Quillmont"_s));
        }
    }
    // Its natural size, the same on X11 and Wayland: nothing stretched it.
    sizes.removeDuplicates();
    EXPECT_EQ(sizes.size(), 1) << sizes.join(u' ').toStdString();
}

} // namespace
