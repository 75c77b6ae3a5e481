// Preferences domains as real files in a throw-away home.
#include "platform/userdefaults.h"

#include "platform/propertylist.h"
#include "tests/testsupport.h"

#include <QFileInfo>
#include <QSize>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

class UserDefaultsTest : public testing::Test
{
protected:
    test::TemporaryHome home;
    std::unique_ptr<UserDefaults> defaults = UserDefaults::create();
};

TEST_F(UserDefaultsTest, DomainsAreFilesInThePreferencesFolder)
{
    const QString name = u"com.tallowcraft.Quillmont"_s;
    EXPECT_FALSE(defaults->persistentDomainForName(name));
    ASSERT_TRUE(defaults->setPersistentDomain({ { u"AutoLaunch"_s, 1 } }, name));
    EXPECT_TRUE(defaults->synchronize());
    // Private, and integers still integers for a new store.
    EXPECT_EQ(test::mode(home.domainPath(name)), 0600u);
    EXPECT_EQ(test::mode(home.preferencesPath()), 0700u);
    EXPECT_EQ(
        UserDefaults::create()->persistentDomainForName(name)->value(u"AutoLaunch"_s).typeId(),
        QMetaType::LongLong);
}

TEST_F(UserDefaultsTest, WhatCannotBeReadOrWrittenIsNeverOverwritten)
{
    const std::pair<QString, QByteArray> cases[] = {
        { u"truncated"_s, "<?xml version=\"1.0\"?><plist><dict><key>AutoLaunch</key><integ" },
        { u"garbage"_s, QByteArray("bplist00\xff\xfe\x00garbage", 17) },
        { u"empty"_s, "" },
        { u"array"_s, "<plist version=\"1.0\"><array><string>x</string></array></plist>" },
    };
    for (const auto &[name, contents] : cases) {
        SCOPED_TRACE(name.toStdString());
        test::writeFile(home.domainPath(name), contents);
        EXPECT_FALSE(defaults->persistentDomainForName(name));
        EXPECT_FALSE(defaults->setPersistentDomain({ { u"AutoLaunch"_s, 1 } }, name));
        EXPECT_EQ(test::readFile(home.domainPath(name)), contents);
    }

    // A value that has no property-list form leaves the stored domain as it was.
    ASSERT_TRUE(defaults->setPersistentDomain({ { u"keep"_s, 1 } }, u"d"_s));
    const QByteArray before = test::readFile(home.domainPath(u"d"_s));
    EXPECT_FALSE(defaults->setPersistentDomain({ { u"bad"_s, QSize(1, 2) } }, u"d"_s));
    EXPECT_EQ(test::readFile(home.domainPath(u"d"_s)), before);

    // Names that would lead out of the folder are refused.
    for (const QString &name : { u"../escape"_s, u"a/b"_s, u".hidden"_s, u"nul"_s + QChar(0) }) {
        EXPECT_FALSE(defaults->setPersistentDomain({}, name)) << name.toStdString();
        EXPECT_FALSE(defaults->persistentDomainForName(name));
    }
    EXPECT_FALSE(QFileInfo::exists(home.configHome() + u"/escape.plist"_s));
}

TEST_F(UserDefaultsTest, WritesKeepTheModeAndWriteThroughSymbolicLinks)
{
    const QString shared = home.domainPath(u"shared"_s);
    test::writePropertyList(shared, QVariantMap {});
    ::chmod(QFile::encodeName(shared).constData(), 0644);
    ASSERT_TRUE(defaults->setPersistentDomain({ { u"a"_s, 1 } }, u"shared"_s));
    EXPECT_EQ(test::mode(shared), 0644u);

    // A dotfile manager keeps the real file elsewhere and links to it.
    const QString real = home.path() + u"/dotfiles/linked.plist"_s;
    test::writePropertyList(real, QVariantMap {});
    ASSERT_TRUE(QFile::link(real, home.domainPath(u"linked"_s)));
    ASSERT_TRUE(defaults->setPersistentDomain({ { u"a"_s, 1 } }, u"linked"_s));
    EXPECT_TRUE(QFileInfo(home.domainPath(u"linked"_s)).isSymLink());
    EXPECT_EQ(PropertyList::readFile(real)->toMap().value(u"a"_s), QVariant(qint64(1)));
}

TEST_F(UserDefaultsTest, AWriteRemovesOnlyStaleLeftoversOfItsOwnDomain)
{
    // What a writer killed before its rename leaves (name, age in hours), and
    // look-alikes; only the first is removed.
    const std::pair<QString, int> cases[] = {
        { u".d.plist.AbC123"_s, 2 },
        { u".d.plist.XyZ789"_s, 0 }, // may be a write in progress
        { u".d.plist.older"_s, 2 },
        { u".e.plist.AbC123"_s, 2 },
    };
    for (const auto &[name, hours] : cases) {
        const QString path = home.preferencesPath() + u'/' + name;
        test::writeFile(path, "<plist");
        const timespec times[2] = { { ::time(nullptr) - hours * 3600 - 60, 0 },
                                    { ::time(nullptr) - hours * 3600 - 60, 0 } };
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }
    ASSERT_TRUE(defaults->setPersistentDomain({ { u"a"_s, 1 } }, u"d"_s));
    for (const auto &[name, hours] : cases)
        EXPECT_EQ(QFileInfo::exists(home.preferencesPath() + u'/' + name), name != cases[0].first)
            << name.toStdString();
}

// Two processes update the same domain, each its own key, while this one
// reads: every read parses, and at the end neither lost the other's key.
TEST_F(UserDefaultsTest, ConcurrentUpdatersLoseNoKey)
{
    constexpr int kUpdates = 1000;
    ASSERT_TRUE(defaults->setPersistentDomain({ { u"Host"_s, u"kept"_s } }, u"shared"_s));
    std::vector<pid_t> updaters;
    for (const char *key : { "A", "B" }) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            auto own = UserDefaults::create();
            bool ok = true;
            for (int i = 1; i <= kUpdates; ++i) {
                ok = own->updatePersistentDomain(
                         u"shared"_s,
                         [&](std::optional<QVariantMap> domain) -> std::optional<QVariantMap> {
                             if (domain)
                                 domain->insert(QLatin1String(key), qint64(i));
                             return domain;
                         })
                    && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        updaters.push_back(pid);
    }
    int reads = 0;
    for (pid_t pid : updaters) {
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            const auto domain = defaults->persistentDomainForName(u"shared"_s);
            ASSERT_TRUE(domain) << "read " << reads << " did not parse";
            EXPECT_EQ(domain->value(u"Host"_s), u"kept"_s);
            ++reads;
            ::usleep(2000);
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an update failed";
    }
    EXPECT_EQ(defaults->persistentDomainForName(u"shared"_s),
              (QVariantMap { { u"Host"_s, u"kept"_s },
                             { u"A"_s, qint64(kUpdates) },
                             { u"B"_s, qint64(kUpdates) } }));
    EXPECT_GT(reads, 0);
}

// An updater stuck holding the lock must not cost the user a stored choice:
// after the wait the update is made all the same, and the log says so.
TEST_F(UserDefaultsTest, AnUpdateIsMadeWhenAnotherHoldsTheLockTooLong)
{
    ASSERT_TRUE(defaults->setPersistentDomain({ { u"Host"_s, u"kept"_s } }, u"d"_s));
    int locked[2];
    ASSERT_EQ(::pipe(locked), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd
            = ::open(QFile::encodeName(home.preferencesPath()).constData(), O_RDONLY | O_DIRECTORY);
        const char done = ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        (void)!::write(locked[1], &done, 1);
        ::pause();
        ::_exit(0);
    }
    char done = 0;
    ASSERT_EQ(::read(locked[0], &done, 1), 1);
    ASSERT_EQ(done, 'y');

    testing::internal::CaptureStderr();
    const bool stored = UserDefaults::create(std::chrono::milliseconds(50))
                            ->updatePersistentDomain(u"d"_s, [](std::optional<QVariantMap> domain) {
                                domain->insert(u"AutoLaunch"_s, qint64(2));
                                return domain;
                            });
    const std::string log = testing::internal::GetCapturedStderr();
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(locked[0]);
    ::close(locked[1]);
    EXPECT_TRUE(stored);
    EXPECT_EQ(defaults->persistentDomainForName(u"d"_s),
              (QVariantMap { { u"Host"_s, u"kept"_s }, { u"AutoLaunch"_s, qint64(2) } }));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}

} // namespace
