// The road of one mount from the installer test to the verdict: real
// preferences files, real host bundles with their detectcd, and real starts
// of the host program. Volumes are plain folders here; real mounts are the
// mount monitor's and the end-to-end tests' business.
#include "app/cdhelperdelegate.h"

#include "app/installprompter.h"
#include "platform/launchservices.h"
#include "tests/fakes/countinglaunchservices.h"
#include "tests/fakes/fakelaunchservices.h"
#include "tests/fakes/fakeprocesslist.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct PromptRequest
{
    QString volumePath;
    std::optional<QString> packageName;
    qsizetype selectedApp;
};

class RecordingPrompter final : public InstallPrompter
{
public:
    void promptForVolume(const QString &volumePath, const std::optional<QString> &packageName,
                         qsizetype selectedApp) override
    {
        prompts.push_back({ volumePath, packageName, selectedApp });
    }
    std::vector<PromptRequest> prompts;
};

const QString kMain = QStringLiteral("com.tallowcraft.Quillmont");
const QString kGames = QStringLiteral("com.tallowcraft.QuillmontGames");
const QString kGamesScheme = QStringLiteral("com.tallowcraft.private-QuillmontGames-app-scheme");

// A volume folder at 'path' holding AUTORUN.INF and, when given, the
// QUILLMONT.ID the test host's detectcd prints.
QString makeVolume(const QString &path, const std::optional<QByteArray> &discId)
{
    test::writeFile(path + QStringLiteral("/AUTORUN.INF"), "[autorun]\n");
    if (discId)
        test::writeFile(path + QStringLiteral("/QUILLMONT.ID"), *discId);
    return path;
}

// Both editions installed and registered once per process: GLib reads the
// desktop entries only once.
class MountVerdictTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_home = new test::TemporaryHome;
        s_requests = s_home->path() + QStringLiteral("/requests.log");
        s_detectcd = s_home->path() + QStringLiteral("/detectcd.log");
        qputenv("QUILLMONT_REQUEST_LOG", QFile::encodeName(s_requests));
        qputenv("QUILLMONT_DETECTCD_LOG", QFile::encodeName(s_detectcd));
        for (const char *edition : { "Quillmont", "QuillmontGames" })
            test::installEdition(s_home->path() + QStringLiteral("/Applications"),
                                 QLatin1String(edition), true);
    }
    static void TearDownTestSuite() { delete s_home; }

    // The installer volume 'name', which detectcd names 'discId', seen mounted.
    QString observe(const char *name, const QByteArray &discId)
    {
        const QString volume = makeVolume(
            s_home->path() + QStringLiteral("/Volumes/") + QLatin1String(name), discId);
        delegate.observeMount(volume);
        return volume;
    }
    void reset()
    {
        QDir(s_home->preferencesPath()).removeRecursively();
        QFile::remove(s_requests);
        QFile::remove(s_detectcd);
        prompter.prompts.clear();
        services->openRequests = 0;
    }
    QStringList detectcdRuns() const
    {
        const QString text = QString::fromUtf8(test::readFile(s_detectcd));
        return text.isEmpty() ? QStringList() : text.trimmed().split(u'\n');
    }

    CountingLaunchServices *services = new CountingLaunchServices;
    std::unique_ptr<LaunchServices> servicesOwner { services };
    std::unique_ptr<ProcessList> processes = ProcessList::create();
    Workspace workspace { *processes, *services };
    RecordingPrompter prompter;
    CDHelperDelegate delegate { { workspace, [] { return UserDefaults::create(); }, prompter } };

    static test::TemporaryHome *s_home;
    static QString s_requests, s_detectcd;
};

test::TemporaryHome *MountVerdictTest::s_home = nullptr;
QString MountVerdictTest::s_requests, MountVerdictTest::s_detectcd;

TEST_F(MountVerdictTest, StoredChoiceAndDiscDecide)
{
    enum Verdict { Open, Prompt, Nothing };
    const auto launch = [](QVariant value, QVariantMap more = {}) {
        more.insert(QStringLiteral("AutoLaunch"), std::move(value));
        return more;
    };
    const QString appId = QStringLiteral("AutoLaunchAppID");
    const QString scheme = QStringLiteral("AutoLaunchAppIdentifyingURLScheme");
    const QVariantMap gamesTarget { { appId, kGames }, { scheme, kGamesScheme } };
    const QVariantMap emptyId { { appId, QString() }, { scheme, kGamesScheme } };
    const QVariantMap foreign { { appId, QStringLiteral("com.example.x") } };
    const qsizetype notFound = InstallPrompter::kNotFound;
    const char *visio = "Microsoft Visio";
    const struct
    {
        const char *name;
        std::optional<QVariantMap> mainDomain, gamesDomain;
        Verdict verdict;
        const char *what = nullptr; // Open: the edition started; Prompt: the disc's name
        qsizetype selectedApp = 0;
        QByteArray discId = "Visio";
    } cases[] = {
        { "1, recognised: opened at once", launch(1), {}, Open, "Quillmont", 0, "_msoffice2003_" },
        { "1, OTHER: prompt", launch(1), {}, Prompt, "OTHER", 0, "OTHER" },
        { "2: nothing", launch(2), {}, Nothing },
        { "absent: prompt", QVariantMap(), {}, Prompt, visio },
        { "3: prompt", launch(3), {}, Prompt, visio },
        { "text 1 counts as 1", launch(QStringLiteral("1")), {}, Open, "Quillmont" },
        { "empty AutoLaunchAppID: the record's target", launch(1, emptyId), {}, Open, "Quillmont" },
        { "stored target", launch(1, gamesTarget), {}, Open, "QuillmontGames" },
        { "0: stored target preselected", launch(0, gamesTarget), {}, Prompt, visio, 1 },
        { "stored target not a host application", launch(0, foreign), {}, Prompt, visio, notFound },
        { "both domains: only the first is read", launch(2), launch(1), Nothing },
        { "games domain only: its record is the target", {}, launch(1), Open, "QuillmontGames" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        if (c.mainDomain)
            test::writePropertyList(s_home->domainPath(kMain), *c.mainDomain);
        if (c.gamesDomain)
            test::writePropertyList(s_home->domainPath(kGames), *c.gamesDomain);

        const QString volume = observe(c.name, c.discId);

        EXPECT_EQ(detectcdRuns(), QStringList { volume }) << "detectcd runs once";
        EXPECT_EQ(services->openRequests, c.verdict == Open ? 1 : 0);
        ASSERT_EQ(prompter.prompts.size(), c.verdict == Prompt ? 1u : 0u);
        if (c.verdict == Prompt) {
            EXPECT_EQ(prompter.prompts[0].volumePath, volume);
            EXPECT_EQ(prompter.prompts[0].packageName, QLatin1String(c.what));
            EXPECT_EQ(prompter.prompts[0].selectedApp, c.selectedApp);
        }
        if (c.verdict == Open) {
            const auto requests = test::hostRequests(s_requests, 1);
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0][QStringLiteral("program")].toString(),
                      QStringLiteral("%1/Applications/%2.app/Contents/MacOS/%2")
                          .arg(s_home->path(), QLatin1String(c.what)));
            EXPECT_EQ(requests[0][QStringLiteral("arguments")].toArray().toVariantList(),
                      QVariantList { QString::fromUtf8(fileURLWithPath(volume)) });
        }
    }
}

// Not an installer volume is the installer test's and the end-to-end test's.
TEST_F(MountVerdictTest, ACorruptDomainCountsAsNoneAndNothingRuns)
{
    reset();
    const QByteArray corrupt = "<?xml version=\"1.0\"?><plist><dict><key>AutoLaunch</key>";
    test::writeFile(s_home->domainPath(kMain), corrupt);
    observe("corrupt", "Visio");
    EXPECT_TRUE(detectcdRuns().isEmpty());
    EXPECT_TRUE(prompter.prompts.empty());
    EXPECT_EQ(services->openRequests, 0);
    EXPECT_EQ(test::readFile(s_home->domainPath(kMain)), corrupt) << "left as it was";
}

// detectcd as the host ships it can be replaced, broken or hostile: the main
// host application is a real bundle found through a registry the test fills.
class DiscIdentificationTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const QString bundle = test::installEdition(home.path() + QStringLiteral("/Applications"),
                                                    QStringLiteral("Quillmont"), false);
        services.handlers.insert(QStringLiteral("com.tallowcraft.private-Quillmont-app-scheme"),
                                 { bundle });
        tool = toolOf(bundle);
        test::writePropertyList(home.domainPath(kMain), QVariantMap());
    }
    static QString toolOf(const QString &bundle)
    {
        return bundle + QStringLiteral("/Contents/SharedSupport/Quillmont/bin/detectcd");
    }
    static void writeTool(const QString &path, const QByteArray &script, mode_t mode = 0755)
    {
        test::writeFile(path, "#!/bin/sh\n" + script + '\n');
        ::chmod(QFile::encodeName(path).constData(), mode);
    }

    test::TemporaryHome home;
    FakeProcessList processes;
    FakeLaunchServices services;
    Workspace workspace { processes, services };
    RecordingPrompter prompter;
    CDHelperServices helperServices { workspace,
                                      [] { return UserDefaults::create(); },
                                      prompter,
                                      { std::chrono::milliseconds(1500), 64 * 1024 } };
    CDHelperDelegate delegate { helperServices };
    QString tool;
};

TEST_F(DiscIdentificationTest, WhatTheToolPrintsAndHowItEnds)
{
    // A volume path no shell would pass through unharmed.
    const QString volume = makeVolume(
        home.path() + QStringLiteral("/Volumes/disc \"A\" $HOME `x` 'b' \\ \u00e9"), std::nullopt);
    const QString visio = QStringLiteral("Microsoft Visio");
    const std::optional<QString> unnamed; // the output could not be read
    const struct
    {
        const char *name;
        const char *script; // nullptr: no tool at all
        // The name the prompt shows; no prompt when the tool could not be used.
        std::optional<std::optional<QString>> shown;
        mode_t mode = 0755;
    } cases[] = {
        { "blanks and CR LF around a known disc", "printf ' \\t_msoffice2003_\\r\\n'",
          QStringLiteral("Microsoft Office 2003") },
        { "translated by the host", "echo Quicken", QStringLiteral("Quicken for Windows") },
        { "not UTF-8", "printf '\\377\\n'", unnamed },
        { "one argument, unchanged", "printf '%s\\n' \"$#:$1\"", QStringLiteral("1:") + volume },
        { "standard input is at its end", "cat; echo Visio", visio },
        { "failure status: the output counts", "echo Visio; exit 3", visio },
        { "killed: the output counts", "echo Visio; kill -KILL $$", visio },
        { "10 MB of output: unrecognised", "head -c 10000000 /dev/zero | tr '\\0' a", unnamed },
        { "hangs: given up", "exec sleep 60", std::nullopt },
        { "not executable", "echo Visio", std::nullopt, 0644 },
        { "missing", nullptr, std::nullopt },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(tool);
        if (c.script)
            writeTool(tool, c.script, c.mode);
        prompter.prompts.clear();
        delegate.observeMount(volume);
        ASSERT_EQ(prompter.prompts.size(), c.shown ? 1u : 0u);
        if (c.shown) {
            EXPECT_EQ(prompter.prompts[0].packageName, *c.shown);
        }
    }
}

TEST_F(DiscIdentificationTest, EachMountFindsTheHostAnew)
{
    // The host replaced between two mounts: the second runs the new copy's tool.
    const QString volume = makeVolume(home.path() + QStringLiteral("/Volumes/V"), std::nullopt);
    const QString other = test::installEdition(home.path() + QStringLiteral("/Other"),
                                               QStringLiteral("Quillmont"), false);
    writeTool(tool, "echo Visio");
    writeTool(toolOf(other), "echo Quicken");
    delegate.observeMount(volume);
    services.handlers.insert(QStringLiteral("com.tallowcraft.private-Quillmont-app-scheme"),
                             { other });
    delegate.observeMount(volume);
    ASSERT_EQ(prompter.prompts.size(), 2u);
    EXPECT_EQ(prompter.prompts[0].packageName, QStringLiteral("Microsoft Visio"));
    EXPECT_EQ(prompter.prompts[1].packageName, QStringLiteral("Quicken for Windows"));
}

TEST_F(DiscIdentificationTest, WithoutTheMainEditionNoDiscIsIdentified)
{
    const QString games = test::installEdition(home.path() + QStringLiteral("/Applications"),
                                               QStringLiteral("QuillmontGames"), false);
    services.handlers.clear();
    services.handlers.insert(kGamesScheme, { games });
    services.bundlesByIdentifier.insert(kGames, games);
    const QString volume = makeVolume(home.path() + QStringLiteral("/Volumes/V"), "Visio");
    delegate.observeMount(volume);
    EXPECT_TRUE(prompter.prompts.empty()) << "the games edition's detectcd is not used";
}

} // namespace
