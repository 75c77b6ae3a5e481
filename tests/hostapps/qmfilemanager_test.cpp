// The shared file manager: every operation under the wrapped manager's lock,
// and a lock that an exception never leaves taken.
#include "hostapps/qmfilemanager.h"

#include "tests/testsupport.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

namespace {

// A file manager that records whether its lock was held during each call,
// and can be told to throw.
class ProbeFileManager final : public FileManager
{
public:
    mutable int calls = 0;
    mutable int callsWithLockHeld = 0;
    bool throwOnList = false;

    bool fileExistsAtPath(const QString &path, bool *isDirectory) const override
    {
        if (isDirectory)
            *isDirectory = path.endsWith(u'/');
        return note();
    }
    bool isReadableFileAtPath(const QString &) const override { return note(); }
    bool isExecutableFileAtPath(const QString &) const override { return note(); }
    std::optional<FileAttributes> fileAttributesAtPath(const QString &, bool) const override
    {
        note();
        return std::nullopt;
    }
    QString displayNameAtPath(const QString &path) const override
    {
        note();
        return path;
    }
    std::optional<QStringList> componentsToDisplayForPath(const QString &) const override
    {
        note();
        return QStringList { QStringLiteral("/") };
    }
    std::optional<QStringList> directoryContentsAtPath(const QString &) const override
    {
        note();
        if (throwOnList)
            throw std::runtime_error("listing failed");
        return QStringList {};
    }
    bool removeFileAtPath(const QString &) override { return note(); }
    bool copyPath(const QString &, const QString &) override { return note(); }
    bool createDirectoryAtPath(const QString &, const CreationAttributes &) override
    {
        return note();
    }
    bool createFileAtPath(const QString &, const QByteArray &, const CreationAttributes &) override
    {
        return note();
    }

private:
    // Counts the call, and whether another thread could take the lock now.
    bool note() const
    {
        ++calls;
        auto &mutex = const_cast<ProbeFileManager *>(this)->lock();
        const bool free = std::async(std::launch::async, [&] {
                              const bool taken = mutex.try_lock();
                              if (taken)
                                  mutex.unlock();
                              return taken;
                          }).get();
        if (!free)
            ++callsWithLockHeld;
        return true;
    }
};

TEST(QMFileManager, EveryOperationRunsUnderTheLockWhichAnExceptionReleases)
{
    ProbeFileManager probe;
    QMFileManager manager(probe);
    bool isDirectory = false;
    EXPECT_TRUE(manager.fileExistsAtPath(QStringLiteral("/x/"), &isDirectory));
    EXPECT_TRUE(isDirectory); // out-arguments come back
    (void)manager.isReadableFileAtPath({});
    (void)manager.isExecutableFileAtPath({});
    (void)manager.fileAttributesAtPath({}, true);
    EXPECT_EQ(manager.displayNameAtPath(QStringLiteral("n")), QStringLiteral("n"));
    (void)manager.directoryContentsAtPath({});
    manager.removeFileAtPath({});
    manager.copyPath({}, {});
    manager.createDirectoryAtPath({}, {});
    manager.createFileAtPath({}, {}, {});
    // Additions run on the wrapped manager, under the same lock.
    EXPECT_TRUE(manager.createDirectoryAtPath(QStringLiteral("/x/"), {}, true));
    (void)manager.getDisplayStringForPath(QStringLiteral("/x"));
    EXPECT_GE(probe.calls, 13);
    EXPECT_EQ(probe.callsWithLockHeld, probe.calls);

    probe.throwOnList = true;
    EXPECT_THROW((void)manager.directoryContentsAtPath(QStringLiteral("/")), std::runtime_error);
    // A following operation from another thread still runs.
    auto next = std::async(std::launch::async, [&] { return manager.isReadableFileAtPath({}); });
    ASSERT_EQ(next.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(next.get());
}

} // namespace
