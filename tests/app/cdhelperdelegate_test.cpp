// The road of one mount from the installer test to the verdict: real
// preferences files, real host bundles with their detectcd, and real starts
// of the host program. Volumes are plain folders here; real mounts are the
// mount monitor's and the end-to-end tests' business.
#include "app/cdhelperdelegate.h"

#include "platform/launchservices.h"
#include "prompt/installprompter.h"
#include "tests/fakes/fakelaunchservices.h"
#include "tests/fakes/fakeprocesslist.h"
#include "tests/testsupport.h"
#include "util/stringadditions.h"

#include <QDir>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

struct PromptRequest
{
    QString volumePath;
    std::optional<QString> packageName;
    qsizetype selectedApp;
};

struct RecordingPrompter final : InstallPrompter
{
    void promptForVolume(const QString &volumePath, const std::optional<QString> &packageName,
                         qsizetype selectedApp) override
    {
        prompts.push_back({ volumePath, packageName, selectedApp });
    }
    std::vector<PromptRequest> prompts;
};

const QString kMain = u"com.tallowcraft.Quillmont"_s;
const QString kGames = u"com.tallowcraft.QuillmontGames"_s;
const QString kMainScheme = u"com.tallowcraft.private-Quillmont-app-scheme"_s;
const QString kGamesScheme = u"com.tallowcraft.private-QuillmontGames-app-scheme"_s;

// A volume folder at 'path' holding AUTORUN.INF and, when given, the
// QUILLMONT.ID the test host's detectcd prints.
QString makeVolume(const QString &path, const std::optional<QByteArray> &discId = std::nullopt)
{
    test::writeFile(path + u"/AUTORUN.INF"_s, "[autorun]\n");
    if (discId)
        test::writeFile(path + u"/QUILLMONT.ID"_s, *discId);
    return path;
}

// Hands the delegate one mount and waits until its handling has ended.
void handle(CDHelperDelegate &delegate, const QString &volume)
{
    QSignalSpy handled(&delegate, &CDHelperDelegate::didHandleMount);
    delegate.observeMount(volume);
    if (handled.isEmpty()) {
        ASSERT_TRUE(handled.wait(20000)) << "no verdict";
    }
}

// Both editions installed and registered once per process: GLib reads the
// desktop entries only once.
class MountVerdictTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_home = new test::TemporaryHome;
        qputenv("QUILLMONT_DETECTCD_LOG", QFile::encodeName(log(u"detectcd"_s)));
        for (const QString &edition : { u"Quillmont"_s, u"QuillmontGames"_s })
            test::installEdition(s_home->path() + u"/Applications"_s, edition, true);
    }
    static void TearDownTestSuite() { delete s_home; }
    static QString log(const QString &name) { return s_home->path() + u'/' + name + u".log"_s; }

    void reset()
    {
        QDir(s_home->preferencesPath()).removeRecursively();
        QFile::remove(log(u"detectcd"_s));
        prompter.prompts.clear();
        services.openRequests.clear();
    }
    // The installer volume 'name', which detectcd names Visio, seen mounted.
    QString observe(const char *name)
    {
        QString volume = makeVolume(s_home->path() + u"/Volumes/"_s + QLatin1String(name), "Visio");
        handle(delegate, volume);
        return volume;
    }
    static QStringList detectcdRuns()
    {
        return QString::fromUtf8(test::readFile(log(u"detectcd"_s)))
            .split(u'\n', Qt::SkipEmptyParts);
    }

    FakeLaunchServices services { LaunchServices::create() };
    std::unique_ptr<ProcessList> processes = ProcessList::create();
    Workspace workspace { *processes, services };
    RecordingPrompter prompter;
    CDHelperDelegate delegate { { workspace, [] { return UserDefaults::create(); }, prompter } };

    static inline test::TemporaryHome *s_home = nullptr;
};

// One real road per verdict short of opening (the end-to-end table opens
// and ignores); the decision itself is the stored choice's table (tests/prefs).
TEST_F(MountVerdictTest, EachVerdictTakesItsRoad)
{
    const QVariantMap gamesTarget { { u"AutoLaunch"_s, 0 },
                                    { u"AutoLaunchAppID"_s, kGames },
                                    { u"AutoLaunchAppIdentifyingURLScheme"_s, kGamesScheme } };
    // Without a domain nothing runs, detectcd included; else the prompt.
    const struct
    {
        const char *name;
        std::optional<QVariantMap> mainDomain;
        qsizetype selectedApp = 0;
    } cases[] = {
        { "stored target preselected", gamesTarget, 1 },
        { "stored target not a host application",
          QVariantMap { { u"AutoLaunchAppID"_s, u"com.example.x"_s } }, kNotFound },
        { "no domain: nothing runs", std::nullopt },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        if (c.mainDomain)
            test::writePropertyList(s_home->domainPath(kMain), *c.mainDomain);

        const QString volume = observe(c.name);

        const bool prompted = c.mainDomain.has_value();
        EXPECT_EQ(detectcdRuns().size(), prompted ? 1 : 0);
        EXPECT_TRUE(services.openRequests.empty());
        ASSERT_EQ(prompter.prompts.size(), prompted ? 1u : 0u);
        if (prompted) {
            EXPECT_EQ(prompter.prompts[0].volumePath, volume);
            EXPECT_EQ(prompter.prompts[0].packageName, u"Microsoft Visio"_s);
            EXPECT_EQ(prompter.prompts[0].selectedApp, c.selectedApp);
        }
    }
}

// detectcd as the host ships it can be replaced, broken or hostile: the main
// host application is a real bundle found through a registry the test fills.
class DiscIdentificationTest : public testing::Test
{
protected:
    void SetUp() override
    {
        services.handlers.insert(kMainScheme, { bundle });
        test::writePropertyList(home.domainPath(kMain), QVariantMap());
    }
    QString install(const QString &folder, const QString &edition = u"Quillmont"_s)
    {
        return test::installEdition(home.path() + u'/' + folder, edition, false);
    }
    // No script: no tool at all.
    static void writeTool(const QString &bundle, const char *script, mode_t mode = 0755)
    {
        const QString path = bundle + u"/Contents/SharedSupport/Quillmont/bin/detectcd"_s;
        QFile::remove(path);
        if (!script)
            return;
        test::writeFile(path, "#!/bin/sh\n" + QByteArray(script) + '\n');
        ::chmod(QFile::encodeName(path).constData(), mode);
    }

    test::TemporaryHome home;
    QString bundle = install(u"Applications"_s);
    FakeProcessList processes;
    FakeLaunchServices services;
    Workspace workspace { processes, services };
    RecordingPrompter prompter;
    CDHelperDelegate delegate { { workspace,
                                  [] { return UserDefaults::create(); },
                                  prompter,
                                  { std::chrono::milliseconds(1500), qsizetype(64) * 1024 } } };
};

// How the tool is run (its input, signals, output limit and deadline) is
// checked here, where a user meets it, rather than on the child process alone.
TEST_F(DiscIdentificationTest, WhatTheToolPrintsAndHowItEnds)
{
    // A volume path no shell would pass through unharmed.
    const QString volume
        = makeVolume(home.path() + u"/Volumes/disc \"A\" $HOME `x` 'b' \\ \u00e9"_s);
    const QString visio = u"Microsoft Visio"_s;
    const std::optional<QString> unnamed; // the output could not be read
    const struct
    {
        const char *name;
        const char *script;
        // The name the prompt shows; no prompt when the tool could not be used.
        std::optional<std::optional<QString>> shown;
        mode_t mode = 0755;
    } cases[] = {
        { "blanks and CR LF around a known disc", "printf ' \\t_msoffice2003_\\r\\n'",
          u"Microsoft Office 2003"_s },
        { "not UTF-8", "printf '\\377\\n'", unnamed },
        { "one argument, unchanged", "printf '%s\\n' \"$#:$1\"", u"1:"_s + volume },
        { "standard input is at its end", "cat; echo Visio", visio },
        { "failure status: the output counts", "echo Visio; exit 3", visio },
        { "killed: the output counts", "echo Visio; kill -KILL $$", visio },
        { "10 MB of output: unrecognised", "head -c 10000000 /dev/zero | tr '\\0' a", unnamed },
        { "signals the helper ignores are the tool's default again",
          "m=$(sed -n 's/^SigIgn:\\t//p' /proc/self/status); echo $((0x$m >> 12 & 1))", u"0"_s },
        { "hangs: given up", "exec sleep 60", std::nullopt },
        { "a child keeps the output open: given up", "sleep 60 & echo Visio", std::nullopt },
        { "output closed, still running: given up", "echo Visio; exec >&-; sleep 60",
          std::nullopt },
        { "not executable", "echo Visio", std::nullopt, 0644 },
        { "missing", nullptr, std::nullopt },
    };
    // SIGPIPE (bit 12 of SigIgn) ignored, as the helper has it.
    const auto previous = ::signal(SIGPIPE, SIG_IGN);
    const auto restore = qScopeGuard([previous] { ::signal(SIGPIPE, previous); });
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeTool(bundle, c.script, c.mode);
        prompter.prompts.clear();
        handle(delegate, volume);
        ASSERT_EQ(prompter.prompts.size(), c.shown ? 1u : 0u);
        if (c.shown) {
            EXPECT_EQ(prompter.prompts[0].packageName, *c.shown);
        }
    }
}

// The host replaced between two mounts, and while detectcd runs: the tool
// and the name each come from the copy found at that moment. Without the
// main edition, the games edition's tool is not used at all.
TEST_F(DiscIdentificationTest, EachStepFindsTheHostAnew)
{
    const QString volume = makeVolume(home.path() + u"/Volumes/V"_s);
    const QString other = install(u"Other"_s);
    test::writeFile(other + u"/Contents/Resources/English.lproj/TCL.strings"_s,
                    "\"Quicken\" = \"Quicken, newer copy\";\n");
    writeTool(bundle, "echo Quicken");
    writeTool(other, "echo _msoffice2003_");
    handle(delegate, volume);
    {
        QSignalSpy handled(&delegate, &CDHelperDelegate::didHandleMount);
        delegate.observeMount(volume); // the first copy's tool is running now
        services.handlers.insert(kMainScheme, { other });
        ASSERT_TRUE(handled.wait(20000));
    }
    handle(delegate, volume);

    const QString games = install(u"Games"_s, u"QuillmontGames"_s);
    writeTool(games, "echo Visio");
    services.handlers = { { kGamesScheme, { games } } };
    services.bundlesByIdentifier.insert(kGames, games);
    handle(delegate, volume);

    QStringList names;
    for (const PromptRequest &prompt : prompter.prompts)
        names += prompt.packageName.value_or(u"(none)"_s);
    EXPECT_EQ(names,
              (QStringList { u"Quicken for Windows"_s, u"Quicken, newer copy"_s,
                             u"Microsoft Office 2003"_s }));
}

// Mounts in a burst are handled one after the other, in order, and the event
// loop runs while a tool does; a delegate that goes while detectcd runs
// takes the tool's whole process group with it.
TEST_F(DiscIdentificationTest, ToolsRunOneAtATimeAndNeverOutliveTheDelegate)
{
    QStringList volumes;
    for (const char *name : { "A", "B", "C" })
        volumes += makeVolume(home.path() + u"/Volumes/"_s + QLatin1String(name));
    writeTool(bundle,
              "n=$(basename \"$1\"); echo \"start $n\" >>\"$0.log\"; sleep 0.2; "
              "echo \"end $n\" >>\"$0.log\"; echo Visio");
    QSignalSpy handled(&delegate, &CDHelperDelegate::didHandleMount);
    for (const QString &volume : volumes)
        delegate.observeMount(volume);
    EXPECT_TRUE(handled.isEmpty()) << "observeMount returns while the tool runs";
    while (handled.size() < 3)
        ASSERT_TRUE(handled.wait(20000));
    EXPECT_EQ(test::readFile(bundle + u"/Contents/SharedSupport/Quillmont/bin/detectcd.log"_s),
              "start A\nend A\nstart B\nend B\nstart C\nend C\n");
    ASSERT_EQ(prompter.prompts.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(prompter.prompts[size_t(i)].volumePath, volumes[i]);

    writeTool(bundle, "sleep 1000 & echo $! >\"$0.pid\"; wait");
    {
        CDHelperDelegate short_lived { { workspace, [] { return UserDefaults::create(); },
                                         prompter } };
        short_lived.observeMount(volumes[0]);
        QTest::qWait(300);
    }
    const pid_t sleeper
        = test::readFile(bundle + u"/Contents/SharedSupport/Quillmont/bin/detectcd.pid"_s)
              .trimmed()
              .toInt();
    ASSERT_GT(sleeper, 0);
    EXPECT_TRUE(test::processHasEnded(sleeper)) << "the tool's child lives on";
}

} // namespace
