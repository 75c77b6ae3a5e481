// The shared file manager: every operation under the wrapped manager's lock,
// and a lock that an exception never leaves taken.
#include "hostapps/qmfilemanager.h"

#include "tests/testsupport.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

using namespace Qt::StringLiterals;

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
        return noted(true);
    }
    bool isReadableFileAtPath(const QString &) const override { return noted(true); }
    bool isExecutableFileAtPath(const QString &) const override { return noted(true); }
    std::optional<FileAttributes> fileAttributesAtPath(const QString &, bool) const override
    {
        return noted(std::optional<FileAttributes>());
    }
    QString displayNameAtPath(const QString &path) const override { return noted(path); }
    std::optional<QStringList> componentsToDisplayForPath(const QString &) const override
    {
        return noted(std::optional(QStringList { u"/"_s }));
    }
    std::optional<QStringList> directoryContentsAtPath(const QString &) const override
    {
        if (noted(throwOnList))
            throw std::runtime_error("listing failed");
        return QStringList {};
    }
    bool removeFileAtPath(const QString &) override { return noted(true); }
    bool copyPath(const QString &, const QString &) override { return noted(true); }
    bool createDirectoryAtPath(const QString &, const CreationAttributes &) override
    {
        return noted(true);
    }
    bool createFileAtPath(const QString &, const QByteArray &, const CreationAttributes &) override
    {
        return noted(true);
    }

private:
    // Counts the call, and whether another thread could take the lock now.
    template<typename T> T noted(T value) const
    {
        ++calls;
        auto &mutex = const_cast<ProbeFileManager *>(this)->lock();
        const bool free = std::async(std::launch::async, [&] {
                              std::unique_lock taken(mutex, std::try_to_lock);
                              return taken.owns_lock();
                          }).get();
        callsWithLockHeld += free ? 0 : 1;
        return value;
    }
};

TEST(QMFileManager, EveryOperationRunsUnderTheLockWhichAnExceptionReleases)
{
    ProbeFileManager probe;
    QMFileManager manager(probe);
    bool isDirectory = false;
    EXPECT_TRUE(manager.fileExistsAtPath(u"/x/"_s, &isDirectory));
    EXPECT_TRUE(isDirectory); // out-arguments come back
    (void)manager.isReadableFileAtPath({});
    (void)manager.isExecutableFileAtPath({});
    (void)manager.fileAttributesAtPath({}, true);
    EXPECT_EQ(manager.displayNameAtPath(u"n"_s), u"n"_s);
    (void)manager.directoryContentsAtPath({});
    manager.removeFileAtPath({});
    manager.copyPath({}, {});
    manager.createDirectoryAtPath({}, {});
    manager.createFileAtPath({}, {}, {});
    // Additions run on the wrapped manager, under the same lock.
    EXPECT_TRUE(manager.createDirectoryAtPath(u"/x/"_s, {}, true));
    (void)manager.getDisplayStringForPath(u"/x"_s);
    EXPECT_GE(probe.calls, 13);
    EXPECT_EQ(probe.callsWithLockHeld, probe.calls);

    probe.throwOnList = true;
    EXPECT_THROW((void)manager.directoryContentsAtPath(u"/"_s), std::runtime_error);
    // A following operation from another thread still runs.
    auto next = std::async(std::launch::async, [&] { return manager.isReadableFileAtPath({}); });
    ASSERT_EQ(next.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(next.get());
}

} // namespace
