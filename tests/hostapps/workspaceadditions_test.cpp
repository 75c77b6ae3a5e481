// Finding and opening host applications: fake process list and registry,
// real bundles on disk (their versions, dates and executables are judged).
#include "hostapps/workspaceadditions.h"

#include "tests/fakes/fakelaunchservices.h"
#include "tests/fakes/fakeprocesslist.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QString kId = QStringLiteral("com.tallowcraft.Quillmont");
const QString kScheme = QStringLiteral("com.tallowcraft.private-Quillmont-app-scheme");

class WorkspaceAdditionsTest : public testing::Test
{
protected:
    // An installed copy with a version and a modification time.
    QString install(const QString &name, const QString &version, qint64 modified)
    {
        const QString path = dir.path() + u'/' + name;
        test::makeBundle(path,
                         { { QStringLiteral("CFBundleIdentifier"), kId },
                           { QStringLiteral("CFBundleExecutable"), QStringLiteral("Quillmont") },
                           { QStringLiteral("CFBundleVersion"), version } });
        const timespec times[2] = { { modified, 0 }, { modified, 0 } };
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
        return path;
    }

    QTemporaryDir dir;
    FakeProcessList processes;
    FakeLaunchServices services;
    Workspace workspace { processes, services };
};

TEST_F(WorkspaceAdditionsTest, ARunningCopyWinsAndTheRegistryIsNotAsked)
{
    const QString installed
        = install(QStringLiteral("Quillmont 8.app"), QStringLiteral("8.0.0"), 2000000000);
    services.handlers[kScheme] = { installed };
    processes.run(10, QStringLiteral("/opt/Other.app"), QStringLiteral("org.other"));
    processes.run(20, QStringLiteral("/old/Quillmont.app"), kId.toLower());
    processes.run(30, QStringLiteral("/second/Quillmont.app"), kId);

    EXPECT_EQ(QM_findrunningAppProcessWithIdentifier(workspace, kId),
              (ProcessSerialNumber { 0, 20 }));
    EXPECT_EQ(QM_absolutePathForAppBundleWithIdentifier(workspace, kId, kScheme),
              QStringLiteral("/old/Quillmont.app"));
    EXPECT_EQ(services.schemeQueries, 0);

    // A matching process without a bundle counts as not running.
    processes.exit(30);
    processes.run(20, std::nullopt, kId);
    EXPECT_EQ(QM_absolutePathForAppBundleWithIdentifier(workspace, kId, kScheme), installed);
    EXPECT_EQ(QM_findrunningAppProcessWithIdentifier(workspace, QStringLiteral("org.none")),
              ProcessSerialNumber {});
}

TEST_F(WorkspaceAdditionsTest, TheNewestUsableInstalledCopyIsChosen)
{
    const QString v710 = install(QStringLiteral("A.app"), QStringLiteral("7.1.0"), 1900000000);
    const QString v720 = install(QStringLiteral("B.app"), QStringLiteral("7.2.0"), 1600000000);
    const QString v725 = install(QStringLiteral("C.app"), QStringLiteral("7.2.5"), 1700000000);
    const QString broken = install(QStringLiteral("D.app"), QStringLiteral("7.9"), 1800000000);
    services.handlers[kScheme] = { v710, broken, v720, v725 };
    services.bundlesByIdentifier[kId] = QStringLiteral("/registry/Quillmont.app");

    EXPECT_EQ(QM_absolutePathForAppBundleWithIdentifier(workspace, kId, kScheme), v725);
    ::chmod(QFile::encodeName(v725 + QStringLiteral("/Contents/MacOS/Quillmont")).constData(),
            0644);
    EXPECT_EQ(QM_absolutePathForAppBundleWithIdentifier(workspace, kId, kScheme), v720);

    // Nothing usable claims the scheme, or no scheme is given: the registry decides.
    services.handlers[kScheme] = { broken };
    EXPECT_EQ(QM_absolutePathForAppBundleWithIdentifier(workspace, kId, kScheme),
              QStringLiteral("/registry/Quillmont.app"));
    const int queries = services.schemeQueries;
    EXPECT_EQ(QM_absolutePathForAppBundleWithIdentifier(workspace, kId, std::nullopt),
              QStringLiteral("/registry/Quillmont.app"));
    EXPECT_EQ(services.schemeQueries, queries);
    EXPECT_FALSE(
        QM_absolutePathForAppBundleWithIdentifier(workspace, QStringLiteral("org.none"), kScheme));
}

TEST_F(WorkspaceAdditionsTest, OpeningGoesToTheFoundApplicationOrNowhere)
{
    const QString installed
        = install(QStringLiteral("Quillmont.app"), QStringLiteral("7.2.0"), 1700000000);
    services.handlers[kScheme] = { installed };
    EventDescriptor express = EventDescriptor::recordDescriptor();
    express.setDescriptorForKeyword(
        EventDescriptor::descriptorWithString(QStringLiteral("express")), 0x65787072);
    const QList<QByteArray> volume { "file:///media/cdrom" };

    ASSERT_TRUE(QM_openURLs(workspace, volume, kId, kScheme, 0x10100, express));
    ASSERT_EQ(services.openRequests.size(), 1u);
    const LaunchURLSpec &spec = services.openRequests.back();
    EXPECT_EQ(spec.appPath, installed);
    EXPECT_EQ(spec.itemURLs, volume);
    EXPECT_EQ(spec.launchFlags, 0x10100u);
    ASSERT_TRUE(spec.passThroughParams);
    EXPECT_EQ(spec.passThroughParams->items().at(0).second, QStringLiteral("express"));

    // Not found: refused without asking the registry to open anything.
    EXPECT_FALSE(QM_openURLs(workspace, volume, QStringLiteral("org.none"), std::nullopt, 0x10100,
                             std::nullopt));
    EXPECT_EQ(services.openRequests.size(), 1u);

    // Neither identifier nor scheme: each item's default handler.
    EXPECT_TRUE(QM_openURLs(workspace, volume, std::nullopt, std::nullopt, 0, std::nullopt));
    EXPECT_FALSE(services.openRequests.back().appPath);

    services.openStatus = 5;
    EXPECT_FALSE(QM_openURLs(workspace, volume, kId, kScheme, 0x10100, std::nullopt));
}

TEST_F(WorkspaceAdditionsTest, LaunchingSendsNothingToARunningApplication)
{
    const QString installed
        = install(QStringLiteral("Quillmont.app"), QStringLiteral("7.2.0"), 1700000000);
    services.handlers[kScheme] = { installed };
    EXPECT_TRUE(QM_launchAppWithBundleIdentifier(workspace, kId, kScheme, 0x10100, std::nullopt));
    ASSERT_EQ(services.openRequests.size(), 1u);
    EXPECT_TRUE(services.openRequests.back().itemURLs.isEmpty());

    processes.run(42, installed, kId);
    EXPECT_TRUE(QM_launchAppWithBundleIdentifier(workspace, kId, kScheme, 0x10100, std::nullopt));
    EXPECT_EQ(services.openRequests.size(), 1u);
}

} // namespace
