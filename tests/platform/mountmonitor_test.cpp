// The mount monitor against the real kernel, in a private mount namespace of
// the test's own (each test runs in a process of its own). A real ISO image
// mounted through fuseiso is the end-to-end test's.
#include "platform/mountmonitor.h"

#include "platform/filesystemrepresentation.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using TableSource = MountMonitor::TableSource;

void PrintTo(TableSource source, std::ostream *os)
{
    *os << (source == TableSource::Best ? "Best" : "MountInfoText");
}

namespace {

class MountMonitorTest : public testing::TestWithParam<TableSource>
{
protected:
    void SetUp() override
    {
        if (const auto why = test::enterPrivateMountNamespace())
            GTEST_SKIP() << *why;
        ASSERT_TRUE(m_dir.isValid());
        m_monitor = MountMonitor::create(GetParam());
        ASSERT_TRUE(m_monitor->start());
        m_spy.emplace(m_monitor.get(), &MountMonitor::didMount);
        m_gone.emplace(m_monitor.get(), &MountMonitor::didUnmount);
    }

    void TearDown() override
    {
        // Before the folder is removed, so nothing is deleted inside a mount.
        for (const QByteArray &path : m_mounted)
            ::umount2(path.constData(), MNT_DETACH);
    }

    // A new folder in the test's folder, its path as the kernel shows it.
    QByteArray folder(const QByteArray &name)
    {
        QByteArray path
            = *fileSystemRepresentation(QDir(m_dir.path()).canonicalPath()) + '/' + name;
        EXPECT_EQ(::mkdir(path.constData(), 0755), 0) << std::strerror(errno);
        return path;
    }

    bool tryMount(const QByteArray &path, const char *type)
    {
        if (::mount(type, path.constData(), type, 0, nullptr) != 0)
            return false;
        m_mounted.append(path);
        return true;
    }
    void mount(const QByteArray &path)
    {
        ASSERT_TRUE(tryMount(path, "tmpfs")) << std::strerror(errno);
    }

    // The mount points reported once 'count' reports have come (or ten
    // seconds without one have passed), and a while after, as bytes.
    QList<QByteArray> takeReports(qsizetype count) { return take(*m_spy, count); }
    // The same for the mounts reported gone, sorted: a burst of them comes
    // in no particular order.
    QList<QByteArray> takeUnmounts(qsizetype count) { return take(*m_gone, count, true); }
    static QList<QByteArray> take(QSignalSpy &spy, qsizetype count, bool sorted = false)
    {
        while (spy.size() < count && spy.wait(10000)) { }
        QTest::qWait(300);
        QList<QByteArray> reports;
        for (const QList<QVariant> &arguments : std::as_const(spy))
            reports.append(fileSystemRepresentation(arguments.at(0).toString()).value_or("?"));
        spy.clear();
        if (sorted)
            std::sort(reports.begin(), reports.end());
        return reports;
    }

    QTemporaryDir m_dir;
    QList<QByteArray> m_mounted;
    std::unique_ptr<MountMonitor> m_monitor;
    std::optional<QSignalSpy> m_spy;
    std::optional<QSignalSpy> m_gone;
};

TEST_P(MountMonitorTest, ReportsEachMountOnce)
{
    // A path with what the text escapes, and a byte that is not UTF-8.
    const QByteArray path = folder("a disc\nnamed \xff\\040");
    // Pseudo file systems are left out. In a user namespace only devpts and
    // ramfs can be mounted.
    int pseudo = 0;
    for (const char *type : { "proc", "sysfs", "devpts", "ramfs" })
        pseudo += tryMount(folder(type), type);
    ASSERT_GT(pseudo, 0);
    mount(path);
    EXPECT_EQ(takeReports(1), QList { path });
    ASSERT_EQ(::umount2(path.constData(), 0), 0);
    EXPECT_EQ(takeReports(0), QList<QByteArray>());
    EXPECT_EQ(takeUnmounts(1), QList { path });
    // The same path again, though the text may give it the same id.
    mount(path);
    EXPECT_EQ(takeReports(1), QList { path });
    // A second volume stacked on it: its going leaves the point a volume.
    mount(path);
    EXPECT_EQ(takeReports(1), QList { path });
    ASSERT_EQ(::umount2(path.constData(), 0), 0);
    EXPECT_EQ(takeUnmounts(0), QList<QByteArray>());
    ASSERT_EQ(::umount2(path.constData(), 0), 0);
    EXPECT_EQ(takeUnmounts(1), QList { path });

    // A burst: all of it, in the order of mounting, and all of it gone.
    QList<QByteArray> burst;
    for (int i = 0; i < 50; ++i)
        burst.append(folder("burst" + QByteArray::number(i)));
    for (const QByteArray &each : burst)
        mount(each);
    EXPECT_EQ(takeReports(burst.size()), burst);
    for (const QByteArray &each : burst)
        ASSERT_EQ(::umount2(each.constData(), 0), 0);
    std::sort(burst.begin(), burst.end());
    EXPECT_EQ(takeUnmounts(burst.size()), burst);

    // Pseudo file systems were never reported, so they never go either.
    for (const QByteArray &each : m_mounted)
        if (!burst.contains(each) && each != path)
            ::umount2(each.constData(), 0);
    EXPECT_EQ(takeUnmounts(0), QList<QByteArray>());
}

INSTANTIATE_TEST_SUITE_P(, MountMonitorTest,
                         testing::Values(TableSource::Best, TableSource::MountInfoText),
                         [](const auto &info) { return testing::PrintToString(info.param); });

} // namespace
