// The mount monitor against the real kernel, in a private mount namespace of
// the test's own (each test runs in a process of its own).
#include "platform/mountmonitor.h"

#include "platform/filesystemrepresentation.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>

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
    QList<QByteArray> takeReports(qsizetype count)
    {
        while (m_spy->size() < count && m_spy->wait(10000)) { }
        QTest::qWait(300);
        QList<QByteArray> reports;
        for (const QList<QVariant> &arguments : std::as_const(*m_spy))
            reports.append(fileSystemRepresentation(arguments.at(0).toString()).value_or("?"));
        m_spy->clear();
        return reports;
    }

    QTemporaryDir m_dir;
    QList<QByteArray> m_mounted;
    std::unique_ptr<MountMonitor> m_monitor;
    std::optional<QSignalSpy> m_spy;
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
    // The same path again, though the text may give it the same id.
    mount(path);
    EXPECT_EQ(takeReports(1), QList { path });

    // A burst: all of it, in the order of mounting.
    QList<QByteArray> burst;
    for (int i = 0; i < 50; ++i)
        burst.append(folder("burst" + QByteArray::number(i)));
    for (const QByteArray &each : burst)
        mount(each);
    EXPECT_EQ(takeReports(burst.size()), burst);
}

TEST_P(MountMonitorTest, ReportsAnIsoImageMountedWithFuse)
{
    const QString genisoimage = QStandardPaths::findExecutable(QStringLiteral("genisoimage"));
    const QString fuseiso = QStandardPaths::findExecutable(QStringLiteral("fuseiso"));
    if (genisoimage.isEmpty() || fuseiso.isEmpty())
        GTEST_SKIP() << "needs genisoimage and fuseiso";
    const QString source = m_dir.filePath(QStringLiteral("source"));
    const QString image = m_dir.filePath(QStringLiteral("disc.iso"));
    test::writeFile(source + QStringLiteral("/AUTORUN.INF"), "[autorun]\nopen=SETUP.EXE\n");
    test::writeFile(source + QStringLiteral("/SETUP.EXE"), "MZ");
    const QStringList options = QStringLiteral("-quiet -V LABEL -J -r -o").split(u' ');
    ASSERT_EQ(QProcess::execute(genisoimage, options + QStringList { image, source }), 0);

    const QByteArray path = folder("cdrom");
    m_mounted.append(path);
    // fuseiso mounts, then leaves its file-system process behind.
    ASSERT_EQ(QProcess::execute(fuseiso, { image, stringWithFileSystemRepresentation(path) }), 0);
    EXPECT_EQ(takeReports(1), QList { path });
    ASSERT_EQ(::umount2(path.constData(), 0), 0) << std::strerror(errno);
    EXPECT_EQ(takeReports(0), QList<QByteArray>());
}

INSTANTIATE_TEST_SUITE_P(, MountMonitorTest,
                         testing::Values(TableSource::Best, TableSource::MountInfoText),
                         [](const auto &info) { return testing::PrintToString(info.param); });

} // namespace
