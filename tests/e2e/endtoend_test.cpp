// End to end: the built helper bundle started as a login starts it, a real
// ISO 9660 image mounted through fuseiso in a private mount namespace, the
// stand-in host product, and Xvfb, all driven by scripts/demo.
#include "platform/launchservices.h"

#include <QFile>
#include <QJsonArray>
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
    int repeatedLogLines = -1; // lines the helper's processes logged more than once
    QList<QJsonObject> requests;
    QString volume;
    QList<QJsonObject> accessibles; // what AT-SPI showed of the prompt
    QString pressed; // the button pressed through AT-SPI
    QString autolaunch; // in each domain, "Quillmont,QuillmontGames"
    int leftovers = -1; // temporary files in the preferences folder
    int prompts = -1; // prompt programs running at the end
    QByteArray errors; // the demo's standard error, and the helper's
};

// Runs the demo non-interactively and reads its RESULT lines. 'environment'
// adds to or, with an empty value, takes from the demo's environment.
std::optional<Outcome> runDemo(const QStringList &options,
                               const QList<std::pair<QString, QString>> &environmentChanges = {})
{
    QProcess demo;
    demo.setProcessChannelMode(QProcess::SeparateChannels);
    // A file, not a pipe: the helper's copy keeps it as its standard error.
    const QString errorFile = QStringLiteral(RARURU_BUILD_DIR "/e2e-demo.err");
    demo.setStandardErrorFile(errorFile);
    // Under ASan, its strict string checks flag libxkbcommon-x11's strndup of
    // a buffer that is not NUL-terminated (strndup stops at the length given);
    // that is the X keyboard library's, not ours.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.contains(u"ASAN_OPTIONS"_s)) {
        environment.insert(u"ASAN_OPTIONS"_s,
                           environment.value(u"ASAN_OPTIONS"_s) + u":strict_string_checks=0"_s);
    }
    // Each message says whose it is: what a start says once is said once
    // by each process.
    environment.insert(u"QT_MESSAGE_PATTERN"_s, u"%{pid} %{type} %{category}: %{message}"_s);
    for (const auto &[name, value] : environmentChanges) {
        if (value.isEmpty())
            environment.remove(name);
        else
            environment.insert(name, value);
    }
    demo.setProcessEnvironment(environment);
    demo.start(QStringLiteral(RARURU_DEMO),
               QStringList { u"--non-interactive"_s, u"--build-dir"_s,
                             QStringLiteral(RARURU_BUILD_DIR), u"--screenshot"_s,
                             QStringLiteral(RARURU_BUILD_DIR "/e2e-prompt.png") }
                   + options);
    const bool finished = demo.waitForFinished(90000) && demo.exitCode() == 0;
    Outcome outcome;
    QFile errors(errorFile);
    if (errors.open(QIODevice::ReadOnly))
        outcome.errors = errors.readAll();
    if (!finished) {
        ADD_FAILURE() << "the demo failed: " << outcome.errors.toStdString();
        return std::nullopt;
    }
    for (const QByteArray &line : demo.readAllStandardOutput().split('\n')) {
        const QByteArray value = line.mid(line.indexOf('=') + 1);
        if (line.startsWith("RESULT window="))
            outcome.window = value == "yes";
        else if (line.startsWith("RESULT windows="))
            outcome.windows = value.toInt();
        else if (line.startsWith("RESULT helpers="))
            outcome.helpers = value.toInt();
        else if (line.startsWith("RESULT detectcd="))
            outcome.detectcdRuns = value.toInt();
        else if (line.startsWith("RESULT request="))
            outcome.requests += QJsonDocument::fromJson(value).object();
        else if (line.startsWith("RESULT size="))
            outcome.size = QString::fromUtf8(value);
        else if (line.startsWith("RESULT sway="))
            outcome.sway = QString::fromUtf8(value);
        else if (line.startsWith("RESULT repeated-log-lines="))
            outcome.repeatedLogLines = value.toInt();
        else if (line.startsWith("RESULT volume="))
            outcome.volume = QString::fromUtf8(value);
        else if (line.startsWith("RESULT atspi="))
            outcome.accessibles += QJsonDocument::fromJson(value).object();
        else if (line.startsWith("RESULT atspi-pressed="))
            outcome.pressed = QString::fromUtf8(value);
        else if (line.startsWith("RESULT autolaunch="))
            outcome.autolaunch = QString::fromUtf8(value);
        else if (line.startsWith("RESULT leftovers="))
            outcome.leftovers = value.toInt();
        else if (line.startsWith("RESULT prompts="))
            outcome.prompts = value.toInt();
    }
    return outcome;
}

// What a screen reader is told of the prompt, control by control.
const QStringList kPromptAsHeard = {
    u"dialog: Install a Windows program from a disc"_s,
    u"image: Disc: Office 2003 Setup"_s,
    u"label: Office 2003 Setup"_s,
    u"label: This Windows installer disc holds Microsoft Office 2003."_s,
    u"label: Install with:"_s,
    u"combo box: Quillmont"_s, // Qt's way: the name is the item chosen...
    u"check box: Remember my choice for later discs"_s,
    u"push button: Ignore this disc"_s,
    u"push button: Express install"_s,
    u"push button: Install"_s,
};

void expectPromptAsHeard(const Outcome &outcome)
{
    QStringList heard;
    for (const QJsonObject &accessible : outcome.accessibles) {
        const QString role = accessible[u"role"_s].toString();
        heard += role + u": "_s + accessible[u"name"_s].toString();
        if (role == u"push button"_s) {
            EXPECT_TRUE(accessible[u"actions"_s].toArray().contains(u"Press"_s))
                << heard.last().toStdString();
        } else if (role == u"combo box"_s) {
            EXPECT_EQ(accessible[u"items"_s].toVariant().toStringList(),
                      (QStringList { u"Quillmont"_s, u"QuillmontGames"_s }));
            // ...and the label beside it says what it chooses.
            EXPECT_EQ(accessible[u"labelledBy"_s].toVariant().toStringList(),
                      QStringList { u"Install with:"_s });
        }
    }
    EXPECT_EQ(heard.join(u'\n').toStdString(), kPromptAsHeard.join(u'\n').toStdString());
}

TEST(EndToEnd, TheRoadOfOneMount)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the demo mounts its disc in a private mount namespace";
    const struct
    {
        const char *name;
        const char *options; // of the demo, separated by blanks
        bool window;
        int detectcdRuns;
        bool opened; // the main host application was started with the volume
        QString pressed {}; // through AT-SPI
        QString sway {}; // expected of a Wayland compositor's window tree
        QList<std::pair<QString, QString>> environment {};
        int helpers = 1; // running at the end
        const char *autolaunch = nullptr; // stored at the end, when it matters
    } cases[] = {
        { "AutoLaunch 1, recognised disc: opened at once", "--auto-launch 1", false, 1, true },
        { "AutoLaunch 2: nothing opened, detectcd ran", "--auto-launch 2", false, 1, false },
        { "no choice stored: the prompt, answered Install", "--auto-launch none", true, 1, true },
        { "not an installer: nothing runs", "--disc plain", false, 0, false },
        { "five starts, two at once: one helper, one prompt", "--starts 5", true, 1, true },
        { "a new home through a link, no cache or runtime folder", "--home linked", true, 1, true },
        { "a screen reader on: Install pressed through AT-SPI", "--answer-via atspi", true, 1, true,
          u"Install"_s },
        { "a screen reader on: Ignore pressed through AT-SPI", "--answer-via atspi --answer ignore",
          true, 1, false, u"Ignore this disc"_s },
        // Nothing listens there; Qt is told to reach for its bridge all the same.
        { "no session bus at all, accessibility asked for",
          "",
          true,
          1,
          true,
          {},
          {},
          { { u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/bus"_s },
            { u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s } } },
        // A tiling compositor floats the prompt at the size it asks for,
        // gives it the keyboard, and names it by the helper's desktop entry.
        { "Wayland: sway, answered from a virtual keyboard", "--session wayland", true, 1, true,
          QString(), u"app_id:com.tallowcraft.QuillmontDIRaruru floating:yes focused:yes"_s },
        // Opened where the user is not looking, it waits for them.
        { "Wayland: the compositor refuses the focus", "--session wayland --refuse-focus", true, 1,
          true, QString(), u"app_id:com.tallowcraft.QuillmontDIRaruru floating:yes focused:no"_s },
        // Qt would load the disc's style sheet (48-pixel text) from a command
        // line: the window keeps its size, and Return still installs.
        { .name = "a disc named like an option: shown as text, changing nothing",
          .options = "--disc-id -stylesheet=@VOLUME@/s.qss",
          .window = true,
          .detectcdRuns = 1,
          .opened = true },
        { .name = "ignore and remember, every fsync 3 s: both domains, then the helper quits",
          .options = "--answer ignore --remember --slow-fsync",
          .window = true,
          .detectcdRuns = 1,
          .opened = false,
          .helpers = 0,
          .autolaunch = "2,2" },
        { .name = "a disc ejected while detectcd runs: no prompt",
          .options = "--eject-during-detectcd",
          .window = false,
          .detectcdRuns = 1,
          .opened = false },
        { .name = "the helper killed under its prompt: the prompt goes, opening nothing",
          .options = "--kill-helper",
          .window = true,
          .detectcdRuns = 1,
          .opened = false,
          .helpers = 0 },
    };
    QStringList sizes;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto outcome = runDemo(QString::fromLatin1(c.options).split(u' ', Qt::SkipEmptyParts),
                                     c.environment);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->window, c.window);
        EXPECT_EQ(outcome->windows, c.window ? 1 : 0);
        EXPECT_EQ(outcome->helpers, c.helpers);
        EXPECT_EQ(outcome->prompts, 0);
        EXPECT_EQ(outcome->leftovers, 0);
        if (c.autolaunch) {
            EXPECT_EQ(outcome->autolaunch.toStdString(), c.autolaunch);
        }
        EXPECT_EQ(outcome->detectcdRuns, c.detectcdRuns);
        EXPECT_EQ(outcome->pressed, c.pressed);
        EXPECT_EQ(outcome->sway, c.sway);
        if (c.window)
            sizes += outcome->size;
        if (!c.pressed.isEmpty())
            expectPromptAsHeard(*outcome);
        // Whatever the session lacks is said once by a process, not at every turn.
        EXPECT_EQ(outcome->repeatedLogLines, 0) << outcome->errors.toStdString();
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
