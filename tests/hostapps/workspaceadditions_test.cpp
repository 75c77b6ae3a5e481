// Finding and opening host applications with a fake process list and
// registry around real bundles: what the real registry cannot be made to do.
// A running copy found in any letter case before asking the registry, and
// choosing among installed copies, are the integration test's.
#include "hostapps/workspaceadditions.h"

#include "tests/fakes/fakelaunchservices.h"
#include "tests/fakes/fakeprocesslist.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kId = u"com.tallowcraft.Quillmont"_s;
const QString kScheme = u"com.tallowcraft.private-Quillmont-app-scheme"_s;

class WorkspaceAdditionsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        test::makeBundle(installed,
                         { { u"CFBundleIdentifier"_s, kId },
                           { u"CFBundleExecutable"_s, u"Quillmont"_s },
                           { u"CFBundleVersion"_s, u"7.2.0"_s } });
        test::makeBundle(broken, { { u"CFBundleIdentifier"_s, kId } });
        services.handlers[kScheme] = { installed };
        services.bundlesByIdentifier[kId] = u"/registry/Quillmont.app"_s;
    }
    std::optional<QString> lookUp(const QString &id, const std::optional<QString> &scheme)
    {
        return QM_absolutePathForAppBundleWithIdentifier(workspace, id, scheme);
    }

    QTemporaryDir dir;
    QString installed = dir.path() + u"/Quillmont.app"_s;
    QString broken = dir.path() + u"/Broken.app"_s;
    FakeProcessList processes;
    FakeLaunchServices services;
    Workspace workspace { processes, services };
};

TEST_F(WorkspaceAdditionsTest, ARunningCopyFirstThenTheSchemeThenTheRegistry)
{
    processes.run(10, u"/opt/Other.app"_s, u"org.other"_s);
    processes.run(20, u"/old/Quillmont.app"_s, kId);
    processes.run(30, u"/second/Quillmont.app"_s, kId);
    EXPECT_EQ(lookUp(kId, kScheme), u"/old/Quillmont.app"_s) << "the first listed";

    // A matching process without a bundle counts as not running.
    processes.exit(30);
    processes.run(20, std::nullopt, kId);
    EXPECT_EQ(lookUp(kId, kScheme), installed);

    // Nothing usable claims the scheme, or no scheme is given: the registry decides.
    services.handlers[kScheme] = { broken };
    EXPECT_EQ(lookUp(kId, kScheme), u"/registry/Quillmont.app"_s);
    const int queries = services.schemeQueries;
    EXPECT_EQ(lookUp(kId, std::nullopt), u"/registry/Quillmont.app"_s);
    EXPECT_EQ(services.schemeQueries, queries);
    EXPECT_FALSE(lookUp(u"org.none"_s, kScheme));
}

TEST_F(WorkspaceAdditionsTest, OpeningAndLaunching)
{
    const QList<QByteArray> volume { "file:///media/cdrom" };
    ASSERT_TRUE(QM_openURLs(workspace, volume, kId, kScheme, 0x10100, std::nullopt));
    ASSERT_EQ(services.openRequests.size(), 1u);
    const LaunchURLSpec &opened = services.openRequests.back();
    EXPECT_EQ(std::tie(opened.appPath, opened.itemURLs, opened.launchFlags),
              std::tuple(installed, volume, 0x10100u));

    // Not found: refused without asking the registry to open anything.
    EXPECT_FALSE(QM_openURLs(workspace, volume, u"org.none"_s, std::nullopt, 0, std::nullopt));
    EXPECT_EQ(services.openRequests.size(), 1u);
    // Neither identifier nor scheme: each item's default handler.
    EXPECT_TRUE(QM_openURLs(workspace, volume, std::nullopt, std::nullopt, 0, std::nullopt));
    EXPECT_FALSE(services.openRequests.back().appPath);

    // Launching opens nothing, and sends nothing to a running copy.
    EXPECT_TRUE(QM_launchAppWithBundleIdentifier(workspace, kId, kScheme, 0, std::nullopt));
    ASSERT_EQ(services.openRequests.size(), 3u);
    EXPECT_TRUE(services.openRequests.back().itemURLs.isEmpty());
    processes.run(42, installed, kId);
    EXPECT_TRUE(QM_launchAppWithBundleIdentifier(workspace, kId, kScheme, 0, std::nullopt));
    EXPECT_EQ(services.openRequests.size(), 3u);

    services.openStatus = 5;
    EXPECT_FALSE(QM_openURLs(workspace, volume, kId, kScheme, 0, std::nullopt)) << "open failed";
}

} // namespace
