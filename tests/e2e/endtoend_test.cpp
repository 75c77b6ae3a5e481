// End to end: the built helper bundle started as a login starts it, a real
// ISO 9660 image mounted through fuseiso in a private mount namespace, the
// stand-in host product, and Xvfb, all driven by scripts/demo.
#include "platform/launchservices.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// What the demo printed as "RESULT NAME=VALUE" lines (see scripts/demo), and
// its standard error with the helper's.
struct Outcome
{
    QHash<QByteArray, QByteArrayList> results;
    QByteArray errors;

    QString text(const char *name) const { return QString::fromUtf8(results.value(name).value(0)); }
    int number(const char *name) const { return results.value(name).value(0, "-1").toInt(); }
    QList<QJsonObject> objects(const char *name) const
    {
        QList<QJsonObject> objects;
        for (const QByteArray &value : results.value(name))
            objects += QJsonDocument::fromJson(value).object();
        return objects;
    }
};

// Runs the demo non-interactively and reads its RESULT lines. 'environment'
// adds to or, with an empty value, takes from the demo's environment.
std::optional<Outcome> runDemo(const QStringList &options,
                               const QList<std::pair<QString, QString>> &environmentChanges = {})
{
    // Files of this run's own: rows and whole suites may run side by side.
    const QTemporaryDir files;
    QProcess demo;
    demo.setProcessChannelMode(QProcess::SeparateChannels);
    // A file, not a pipe: the helper's copy keeps it as its standard error.
    const QString errorFile = files.filePath(u"demo.err"_s);
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
               QStringList { u"--non-interactive"_s, u"--no-build"_s, u"--build-dir"_s,
                             QStringLiteral(RARURU_BUILD_DIR), u"--screenshot"_s,
                             files.filePath(u"prompt.png"_s) }
                   + options);
    const bool finished = demo.waitForFinished(110000) && demo.exitStatus() == QProcess::NormalExit
        && demo.exitCode() == 0;
    Outcome outcome;
    QFile errors(errorFile);
    if (errors.open(QIODevice::ReadOnly))
        outcome.errors = errors.readAll();
    if (!finished) {
        ADD_FAILURE() << "the demo failed: " << outcome.errors.toStdString();
        return std::nullopt;
    }
    for (const QByteArray &line : demo.readAllStandardOutput().split('\n')) {
        if (const qsizetype equals = line.indexOf('='); line.startsWith("RESULT ") && equals > 0)
            outcome.results[line.mid(7, equals - 7)] += line.mid(equals + 1);
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
    for (const QJsonObject &accessible : outcome.objects("atspi")) {
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

using Environment = QList<std::pair<QString, QString>>;
const QString kSway = u"app_id:com.tallowcraft.QuillmontDIRaruru floating:yes"_s;
const QString kUntold = u"dialog:yes focused:yes above:? attention:?"_s; // mutter tells little

struct Row
{
    const char *name;
    const char *options; // of the demo, separated by blanks
    bool window;
    int detectcdRuns;
    bool opened; // the main host application was started with the volume
    QString pressed {}; // through AT-SPI
    QString sway {}; // expected of a Wayland compositor's window tree
    Environment environment {};
    // Where the prompt ends up; by default a dialog on top, with the focus.
    QString desktop = u"dialog:yes focused:yes above:yes attention:no"_s;
    int helpers = 1; // running at the end
    const char *autolaunch = nullptr; // stored at the end, when it matters
};

void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.name;
}

// Runs one row's demo and checks what it did; gives the prompt's size.
QString expectRoad(const Row &row)
{
    const auto outcome = runDemo(QString::fromLatin1(row.options).split(u' ', Qt::SkipEmptyParts),
                                 row.environment);
    if (!outcome)
        return {};
    EXPECT_EQ(outcome->text("window") == u"yes"_s, row.window);
    EXPECT_EQ(outcome->number("windows"), row.window ? 1 : 0);
    EXPECT_EQ(outcome->number("helpers"), row.helpers);
    EXPECT_EQ(outcome->number("prompts"), 0);
    EXPECT_EQ(outcome->number("leftovers"), 0);
    if (row.autolaunch) {
        EXPECT_EQ(outcome->text("autolaunch").toStdString(), row.autolaunch);
    }
    EXPECT_EQ(outcome->number("detectcd"), row.detectcdRuns);
    EXPECT_EQ(outcome->text("atspi-pressed"), row.pressed);
    EXPECT_EQ(outcome->text("sway").toStdString(), row.sway.toStdString());
    if (row.window) {
        EXPECT_EQ(outcome->text("desktop").toStdString(), row.desktop.toStdString());
        // Titled: a compositor that tells nothing of its windows leaves AT-SPI's name.
        const QString title = outcome->text("title");
        EXPECT_TRUE(title == u"Windows Installer Disc — Quillmont DI Raruru"_s
                    || title == u"Install a Windows program from a disc"_s)
            << title.toStdString();
    }
    if (!row.pressed.isEmpty())
        expectPromptAsHeard(*outcome);
    // Whatever the session lacks is said once by a process, not at every turn.
    EXPECT_EQ(outcome->number("repeated-log-lines"), 0) << outcome->errors.toStdString();
    const QList<QJsonObject> requests = outcome->objects("request");
    EXPECT_EQ(requests.size(), row.opened ? 1 : 0);
    if (row.opened && !requests.isEmpty()) {
        // Express install hands the host the express parameter record too.
        const QStringList express = QByteArray(row.options).contains("--answer express")
            ? QStringList { u"--event-param"_s, u"expr=express"_s }
            : QStringList();
        EXPECT_EQ(
            requests[0][u"arguments"_s].toVariant().toStringList(),
            express + QStringList { QString::fromUtf8(fileURLWithPath(outcome->text("volume"))) });
        EXPECT_TRUE(requests[0][u"program"_s].toString().endsWith(
            u"/Quillmont.app/Contents/MacOS/Quillmont"_s));
    }
    return outcome->text("size");
}

class EndToEnd : public testing::TestWithParam<Row>
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: the demo mounts its disc in a private mount namespace";
    }
};

// Each row its own test, so that rows run side by side and each has its own
// time limit.
TEST_P(EndToEnd, TheRoadOfOneMount)
{
    expectRoad(GetParam());
}

const Row kPromptOnX11 { "no choice stored: the prompt, answered Install", "--auto-launch none",
                         true, 1, true };
// A tiling compositor floats the prompt at the size it asks for, gives it
// the keyboard, and names it by the helper's desktop entry.
const Row kPromptOnWayland { "Wayland: sway, answered from a virtual keyboard",
                             "--session wayland",
                             true,
                             1,
                             true,
                             QString(),
                             kSway + u" focused:yes"_s };

INSTANTIATE_TEST_SUITE_P(
    Rows, EndToEnd,
    testing::Values(
        Row { "AutoLaunch 1, recognised disc: opened at once", "--auto-launch 1", false, 1, true },
        Row { "AutoLaunch 2: nothing opened, detectcd ran", "--auto-launch 2", false, 1, false },
        Row { "not an installer: nothing runs", "--disc plain", false, 0, false },
        Row { "five starts, two at once: one helper, one prompt", "--starts 5", true, 1, true },
        Row { "a new home through a link, no cache or runtime folder", "--home linked", true, 1,
              true },
        Row { "a screen reader on: Install pressed through AT-SPI", "--answer-via atspi", true, 1,
              true, u"Install"_s },
        Row { "a screen reader on: Ignore pressed through AT-SPI",
              "--answer-via atspi --answer ignore", true, 1, false, u"Ignore this disc"_s },
        Row { "the prompt, answered Express install from the keyboard", "--answer express", true, 1,
              true },
        Row { "the prompt, answered Ignore from the keyboard", "--answer ignore", true, 1, false },
        // Qt would load the disc's style sheet (48-pixel text) from a command
        // line: the window keeps its size, and Return still installs.
        Row { "a disc named like an option: shown as text, changing nothing",
              "--disc-id -stylesheet=@VOLUME@/s.qss", true, 1, true },
        Row { "ignore and remember, every fsync 3 s: both domains, then the helper quits",
              "--answer ignore --remember --slow-fsync", true, 1, false, QString(), QString(),
              Environment(), u"dialog:yes focused:yes above:yes attention:no"_s, 0, "2,2" },
        Row { "a disc ejected while detectcd runs: no prompt", "--eject-during-detectcd", false, 1,
              false },
        Row { "the helper killed under its prompt: the prompt goes, opening nothing",
              "--kill-helper", true, 1, false, QString(), QString(), Environment(),
              u"dialog:yes focused:yes above:yes attention:no"_s, 0 },
        // Nothing listens there; Qt is told to reach for its bridge all the same.
        Row { "no session bus at all, accessibility asked for", "", true, 1, true, QString(),
              QString(),
              Environment { { u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/bus"_s },
                            { u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s } } },
        // Opened where the user is not looking, it waits for them.
        Row { "Wayland: the compositor refuses the focus", "--session sway --refuse-focus", true, 1,
              true, QString(), kSway + u" focused:no"_s, Environment(),
              u"dialog:yes focused:no above:yes attention:no"_s },
        // The desktops users run. Each places the prompt as its dialog and
        // gives it the focus, also from a window the user was typing in.
        Row { "openbox: answered from the keyboard", "--session openbox", true, 1, true },
        Row { "openbox: answered through AT-SPI", "--session openbox --answer-via atspi", true, 1,
              true, u"Install"_s },
        Row { "openbox: while the user types elsewhere", "--session openbox --typing-elsewhere",
              true, 1, true },
        Row { "no window manager: while the user types elsewhere", "--typing-elsewhere", true, 1,
              true, QString(), QString(), Environment(),
              u"dialog:yes focused:yes above:? attention:no"_s },
        Row { "sway: while the user types elsewhere", "--session sway --typing-elsewhere", true, 1,
              true, QString(), kSway + u" focused:yes"_s },
        // mutter's headless seat offers no way to type, and tells its
        // stacking and attention to nobody.
        Row { "GNOME's mutter: answered through AT-SPI", "--session mutter --answer-via atspi",
              true, 1, true, u"Install"_s, QString(), Environment(), kUntold },
        Row { "GNOME's mutter: while the user has another window focused",
              "--session mutter --answer-via atspi --typing-elsewhere", true, 1, true, u"Install"_s,
              QString(), Environment(), kUntold }),
    [](const testing::TestParamInfo<Row> &info) { return "Row" + std::to_string(info.index); });

// Its natural size, the same on X11 and Wayland: nothing stretched it.
TEST(EndToEndSize, ThePromptHasOneNaturalSizeOnX11AndWayland)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the demo mounts its disc in a private mount namespace";
    QString x11;
    {
        SCOPED_TRACE(kPromptOnX11.name);
        x11 = expectRoad(kPromptOnX11);
    }
    SCOPED_TRACE(kPromptOnWayland.name);
    const QString wayland = expectRoad(kPromptOnWayland);
    EXPECT_FALSE(x11.isEmpty());
    EXPECT_EQ(x11, wayland);
}

} // namespace
