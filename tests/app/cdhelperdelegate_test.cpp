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

QStringList lines(const QString &path)
{
    const QString text = QString::fromUtf8(test::readFile(path));
    return text.isEmpty() ? QStringList() : text.trimmed().split(u'\n');
}

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

    void SetUp() override { reset(); }
    void reset()
    {
        QDir(s_home->preferencesPath()).removeRecursively();
        QFile::remove(s_requests);
        QFile::remove(s_detectcd);
        prompter.prompts.clear();
        services->openRequests = 0;
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
    const QString visio = QStringLiteral("Microsoft Visio");
    const QVariantMap gamesTarget { { appId, kGames }, { scheme, kGamesScheme } };
    const struct
    {
        const char *name;
        std::optional<QVariantMap> mainDomain, gamesDomain;
        std::optional<QByteArray> discId; // none: detectcd prints "other"
        Verdict verdict;
        const char *openedWith = nullptr; // the edition whose program gets the volume
        std::optional<QString> packageName = {}; // of the prompt
        qsizetype selectedApp = 0;
    } cases[] = {
        { "1, recognised: opened at once", launch(1), {}, "_msoffice2003_\n", Open, "Quillmont" },
        { "1, blank identifier: opened at once", launch(1), {}, " \n", Open, "Quillmont" },
        { "1, OTHER: prompt", launch(1), {}, "OTHER", Prompt, {}, QStringLiteral("OTHER") },
        { "1, no identifier: prompt", launch(1), {}, {}, Prompt, {}, QStringLiteral("other") },
        { "2: nothing", launch(2), {}, "Visio", Nothing },
        { "absent: prompt", QVariantMap(), {}, "Visio", Prompt, {}, visio },
        { "3: prompt", launch(3), {}, "Visio", Prompt, {}, visio },
        { "text 1 counts as 1", launch(QStringLiteral("1")), {}, "Visio", Open, "Quillmont" },
        { "empty AutoLaunchAppID: the record's target, not the stored scheme",
          launch(1, { { appId, QString() }, { scheme, kGamesScheme } }),
          {},
          "Visio",
          Open,
          "Quillmont" },
        { "stored target", launch(1, gamesTarget), {}, "Visio", Open, "QuillmontGames" },
        { "stored target without a scheme",
          launch(1, { { appId, kGames } }),
          {},
          "Visio",
          Open,
          "QuillmontGames" },
        { "stored target preselected", launch(0, gamesTarget), {}, "Visio", Prompt, {}, visio, 1 },
        { "stored target not a host application",
          launch(0, { { appId, QStringLiteral("com.example.x") } }),
          {},
          "Visio",
          Prompt,
          {},
          visio,
          InstallPrompter::kNotFound },
        { "both domains: only the first is read", launch(2), launch(1), "Visio", Nothing },
        { "games domain only: its record is the target",
          {},
          launch(1),
          "Visio",
          Open,
          "QuillmontGames" },
        { "games domain only: prompt preselects it",
          {},
          QVariantMap(),
          "Quicken",
          Prompt,
          {},
          QStringLiteral("Quicken for Windows"),
          1 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        if (c.mainDomain)
            test::writePropertyList(s_home->domainPath(kMain), *c.mainDomain);
        if (c.gamesDomain)
            test::writePropertyList(s_home->domainPath(kGames), *c.gamesDomain);
        const QString volume = makeVolume(
            s_home->path() + QStringLiteral("/Volumes/") + QLatin1String(c.name), c.discId);

        delegate.observeMount(volume);

        EXPECT_EQ(lines(s_detectcd), QStringList { volume }) << "detectcd runs once";
        EXPECT_EQ(services->openRequests, c.verdict == Open ? 1 : 0);
        ASSERT_EQ(prompter.prompts.size(), c.verdict == Prompt ? 1u : 0u);
        if (c.verdict == Prompt) {
            EXPECT_EQ(prompter.prompts[0].volumePath, volume);
            EXPECT_EQ(prompter.prompts[0].packageName, c.packageName);
            EXPECT_EQ(prompter.prompts[0].selectedApp, c.selectedApp);
        }
        if (c.verdict == Open) {
            const auto requests = test::hostRequests(s_requests, 1);
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0][QStringLiteral("program")].toString(),
                      QStringLiteral("%1/Applications/%2.app/Contents/MacOS/%2")
                          .arg(s_home->path(), QLatin1String(c.openedWith)));
            EXPECT_EQ(requests[0][QStringLiteral("arguments")].toArray().toVariantList(),
                      QVariantList { QString::fromUtf8(fileURLWithPath(volume)) });
        }
    }
}

TEST_F(MountVerdictTest, VolumesThatStopEarly)
{
    const QByteArray corrupt = "<?xml version=\"1.0\"?><plist><dict><key>AutoLaunch</key>";
    const struct
    {
        const char *name;
        bool installer;
        std::optional<QByteArray> mainDomainBytes;
        bool toolRuns;
    } cases[] = {
        { "not an installer volume", false, QByteArray("<plist><dict/></plist>"), false },
        { "no host application has a domain", true, std::nullopt, false },
        { "a corrupt domain counts as none", true, corrupt, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        const QString volume = s_home->path() + QStringLiteral("/Volumes/") + QLatin1String(c.name);
        if (c.installer)
            makeVolume(volume, "Visio");
        else
            test::writeFile(volume + QStringLiteral("/disk1/setup.exe"), "MZ");
        if (c.mainDomainBytes)
            test::writeFile(s_home->domainPath(kMain), *c.mainDomainBytes);

        delegate.observeMount(volume);

        EXPECT_EQ(lines(s_detectcd).size(), c.toolRuns ? 1 : 0);
        EXPECT_TRUE(prompter.prompts.empty());
        EXPECT_EQ(services->openRequests, 0);
        if (c.mainDomainBytes) {
            EXPECT_EQ(test::readFile(s_home->domainPath(kMain)), *c.mainDomainBytes)
                << "left as it was";
        }
    }
}

TEST_F(MountVerdictTest, EveryVolumeGetsItsOwnPrompt)
{
    test::writePropertyList(s_home->domainPath(kMain), QVariantMap());
    const QString first = makeVolume(s_home->path() + QStringLiteral("/Volumes/A"), "Visio");
    const QString second = makeVolume(s_home->path() + QStringLiteral("/Volumes/B"), "Quicken");
    delegate.observeMount(first);
    delegate.observeMount(second);
    delegate.observeMount(first); // mounted again: handled again
    ASSERT_EQ(prompter.prompts.size(), 3u);
    EXPECT_EQ(prompter.prompts[0].volumePath, first);
    EXPECT_EQ(prompter.prompts[1].packageName, QStringLiteral("Quicken for Windows"));
    EXPECT_EQ(prompter.prompts[2].volumePath, first);
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
        tool = bundle + QStringLiteral("/Contents/SharedSupport/Quillmont/bin/detectcd");
        test::writePropertyList(home.domainPath(kMain), QVariantMap());
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
    const std::optional<QString> none;
    const struct
    {
        const char *name;
        const char *script; // nullptr: no tool at all
        mode_t mode;
        std::optional<DiscIdentifier> identifier; // absent: the tool could not be used
        std::optional<QString> displayName;
    } cases[] = {
        { "blanks and CR LF around a known disc", "printf ' \\t_msoffice2003_\\r\\n'", 0755,
          QStringLiteral("_msoffice2003_"), QStringLiteral("Microsoft Office 2003") },
        { "translated by the host", "echo Quicken", 0755, QStringLiteral("Quicken"),
          QStringLiteral("Quicken for Windows") },
        { "letter case counts", "echo visio", 0755, QStringLiteral("visio"),
          QStringLiteral("visio") },
        { "two lines stay one identifier", "printf 'a\\nb\\n'", 0755, QStringLiteral("a\nb"),
          QStringLiteral("a\nb") },
        { "nothing printed", "true", 0755, QString(), QString() },
        { "not UTF-8", "printf '\\377\\n'", 0755, DiscIdentifier(), none },
        { "one argument, unchanged", "printf '%s\\n' \"$#:$1\"", 0755,
          QStringLiteral("1:") + volume, QStringLiteral("1:") + volume },
        { "standard input is at its end", "cat; echo Visio", 0755, QStringLiteral("Visio"),
          QStringLiteral("Microsoft Visio") },
        { "failure status: the output counts", "echo Visio; exit 3", 0755, QStringLiteral("Visio"),
          QStringLiteral("Microsoft Visio") },
        { "killed: the output counts", "echo Visio; kill -KILL $$", 0755, QStringLiteral("Visio"),
          QStringLiteral("Microsoft Visio") },
        { "10 MB of output: unrecognised", "head -c 10000000 /dev/zero | tr '\\0' a", 0755,
          DiscIdentifier(), none },
        { "hangs: given up", "exec sleep 60", 0755, std::nullopt, none },
        { "not executable", "echo Visio", 0644, std::nullopt, none },
        { "missing", nullptr, 0, std::nullopt, none },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(tool);
        if (c.script) {
            test::writeFile(tool, QByteArray("#!/bin/sh\n") + c.script + '\n');
            ::chmod(QFile::encodeName(tool).constData(), c.mode);
        }
        EXPECT_EQ(delegate.identifyVolume(volume), c.identifier);
        if (c.identifier) {
            EXPECT_EQ(delegate.getPackageDisplayName(*c.identifier), c.displayName);
        }

        // The same tool on the road of a mount: the prompt shows the name,
        // and a tool that could not be used ends the handling.
        prompter.prompts.clear();
        delegate.observeMount(volume);
        ASSERT_EQ(prompter.prompts.size(), c.identifier ? 1u : 0u);
        if (c.identifier) {
            EXPECT_EQ(prompter.prompts[0].packageName, c.displayName);
        }
    }
}

TEST_F(DiscIdentificationTest, EachMountFindsTheHostAnew)
{
    // The host replaced between two mounts: the second runs the new copy's tool.
    const QString volume = makeVolume(home.path() + QStringLiteral("/Volumes/V"), std::nullopt);
    const QString other = test::installEdition(home.path() + QStringLiteral("/Other"),
                                               QStringLiteral("Quillmont"), false);
    for (const auto &[bundleTool, output] :
         { std::pair { tool, "Visio" },
           { other + QStringLiteral("/Contents/SharedSupport/Quillmont/bin/detectcd"),
             "Quicken" } }) {
        test::writeFile(bundleTool, QByteArray("#!/bin/sh\necho ") + output + '\n');
        ::chmod(QFile::encodeName(bundleTool).constData(), 0755);
    }
    delegate.observeMount(volume);
    services.handlers.insert(QStringLiteral("com.tallowcraft.private-Quillmont-app-scheme"),
                             { other });
    delegate.observeMount(volume);
    ASSERT_EQ(prompter.prompts.size(), 2u);
    EXPECT_EQ(prompter.prompts[0].packageName, QStringLiteral("Microsoft Visio"));
    EXPECT_EQ(prompter.prompts[1].packageName, QStringLiteral("Quicken for Windows"));
}

TEST_F(DiscIdentificationTest, NamesFollowTheUsersLanguage)
{
    test::ScopedEnvironment german { { "LC_ALL", nullptr },
                                     { "LC_MESSAGES", nullptr },
                                     { "LANG", "de_DE.UTF-8" } };
    EXPECT_EQ(delegate.getPackageDisplayName(QStringLiteral("other")),
              QStringLiteral("unbekannte CD"));
    EXPECT_EQ(delegate.getPackageDisplayName(QStringLiteral("_msoffice2003_")),
              QStringLiteral("Microsoft Office 2003 (deutsch)"));
    EXPECT_EQ(delegate.getPackageDisplayName(QStringLiteral("Quicken")), QStringLiteral("Quicken"))
        << "a key the table lacks keeps its English name";
}

TEST_F(DiscIdentificationTest, WithoutTheMainEditionNoDiscIsIdentified)
{
    const QString games = test::installEdition(home.path() + QStringLiteral("/Applications"),
                                               QStringLiteral("QuillmontGames"), false);
    services.handlers.clear();
    services.handlers.insert(kGamesScheme, { games });
    services.bundlesByIdentifier.insert(kGames, games);
    const QString volume = makeVolume(home.path() + QStringLiteral("/Volumes/V"), "Visio");
    EXPECT_EQ(delegate.identifyVolume(volume), std::nullopt);
    EXPECT_EQ(delegate.getPackageDisplayName(QStringLiteral("Quicken")), QStringLiteral("Quicken"))
        << "untranslated";
    delegate.observeMount(volume);
    EXPECT_TRUE(prompter.prompts.empty());
}

} // namespace
