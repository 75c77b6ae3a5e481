// Preferences domains as real files in a throw-away home.
#include "platform/userdefaults.h"

#include "platform/propertylist.h"
#include "tests/testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSize>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class UserDefaultsTest : public testing::Test
{
protected:
    QString domainFile(const QString &name) const { return home.domainPath(name); }

    test::TemporaryHome home;
    std::unique_ptr<UserDefaults> defaults = UserDefaults::create();
};

// A host's domain with a value of every property-list type.
QVariantMap hostDomain()
{
    return {
        { QStringLiteral("AutoLaunch"), qint64(1) },
        { QStringLiteral("AutoLaunchAppID"), QStringLiteral("com.tallowcraft.Quillmont") },
        { QStringLiteral("WindowScale"), 1.25 },
        { QStringLiteral("ShowTips"), false },
        { QStringLiteral("LastRun"), QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC) },
        { QStringLiteral("Token"), QByteArray("\x00\xff\x10", 3) },
        { QStringLiteral("Recent"), QVariantList { QStringLiteral("a"), qint64(-3) } },
        { QStringLiteral("Nested"), QVariantMap { { QStringLiteral("k"), QStringLiteral("v") } } },
    };
}

TEST_F(UserDefaultsTest, DomainsRoundTripThroughFilesInThePreferencesFolder)
{
    EXPECT_FALSE(defaults->persistentDomainForName(QStringLiteral("com.tallowcraft.Quillmont")));
    ASSERT_TRUE(
        defaults->setPersistentDomain(hostDomain(), QStringLiteral("com.tallowcraft.Quillmont")));
    EXPECT_TRUE(defaults->synchronize());
    EXPECT_TRUE(QFileInfo(domainFile(QStringLiteral("com.tallowcraft.Quillmont"))).isFile());

    // A new store sees exactly what was written, integers still integers.
    const auto read = UserDefaults::create()->persistentDomainForName(
        QStringLiteral("com.tallowcraft.Quillmont"));
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, hostDomain());
    EXPECT_EQ(read->value(QStringLiteral("AutoLaunch")).typeId(), QMetaType::LongLong);
    const QByteArray xml = test::readFile(domainFile(QStringLiteral("com.tallowcraft.Quillmont")));
    EXPECT_TRUE(xml.contains("<key>AutoLaunch</key>\n\t<integer>1</integer>")) << xml.constData();
}

TEST_F(UserDefaultsTest, ChangesByOtherProcessesAreSeenAtOnce)
{
    ASSERT_TRUE(defaults->setPersistentDomain({ { QStringLiteral("a"), 1 } }, QStringLiteral("d")));
    test::writePropertyList(domainFile(QStringLiteral("d")),
                            QVariantMap { { QStringLiteral("a"), 2 } });
    defaults->synchronize();
    EXPECT_EQ(defaults->persistentDomainForName(QStringLiteral("d"))->value(QStringLiteral("a")),
              QVariant(qint64(2)));
}

TEST_F(UserDefaultsTest, WhatCannotBeReadIsAbsentAndNeverOverwritten)
{
    const struct
    {
        const char *name;
        QByteArray contents;
    } cases[] = {
        { "truncated",
          "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>AutoLaunch</key><integ" },
        { "garbage", QByteArray("bplist00\xff\xfe\x00garbage", 17) },
        { "empty", "" },
        { "array", "<plist version=\"1.0\"><array><string>x</string></array></plist>" },
        { "string", "<plist version=\"1.0\"><string>x</string></plist>" },
    };
    for (const auto &c : cases) {
        const QString name = QLatin1String(c.name);
        test::writeFile(domainFile(name), c.contents);
        EXPECT_FALSE(defaults->persistentDomainForName(name)) << c.name;
        EXPECT_FALSE(defaults->setPersistentDomain(hostDomain(), name)) << c.name;
        EXPECT_EQ(test::readFile(domainFile(name)), c.contents) << c.name;
    }
    QDir().mkpath(domainFile(QStringLiteral("folder")));
    EXPECT_FALSE(defaults->persistentDomainForName(QStringLiteral("folder")));
    EXPECT_FALSE(defaults->setPersistentDomain({}, QStringLiteral("folder")));
}

TEST_F(UserDefaultsTest, BadNamesAndValuesAreRefusedWithoutAWrite)
{
    for (const QString &name : { QString(), QStringLiteral("../escape"), QStringLiteral("a/b"),
                                 QStringLiteral(".hidden"), QStringLiteral("nul") + QChar(0) }) {
        EXPECT_FALSE(defaults->setPersistentDomain({}, name)) << name.toStdString();
        EXPECT_FALSE(defaults->persistentDomainForName(name));
    }
    EXPECT_FALSE(QFileInfo::exists(home.configHome() + QStringLiteral("/escape.plist")));

    const QString name = QStringLiteral("com.tallowcraft.quillmont DI raruru");
    ASSERT_TRUE(defaults->setPersistentDomain({ { QStringLiteral("keep"), 1 } }, name));
    const QByteArray before = test::readFile(domainFile(name));
    EXPECT_FALSE(defaults->setPersistentDomain(
        { { QStringLiteral("bad"), QVariant::fromValue(QSize(1, 2)) } }, name));
    EXPECT_EQ(test::readFile(domainFile(name)), before);
}

TEST_F(UserDefaultsTest, WritesKeepModeAndWriteThroughSymbolicLinks)
{
    const auto mode = [](const QString &path) {
        struct stat st
        {
        };
        ::stat(QFile::encodeName(path).constData(), &st);
        return st.st_mode & 0777;
    };
    ASSERT_TRUE(defaults->setPersistentDomain({}, QStringLiteral("fresh")));
    EXPECT_EQ(mode(domainFile(QStringLiteral("fresh"))), 0600u); // preferences are private
    EXPECT_EQ(mode(home.preferencesPath()), 0700u);

    test::writePropertyList(domainFile(QStringLiteral("shared")), QVariantMap {});
    ::chmod(QFile::encodeName(domainFile(QStringLiteral("shared"))).constData(), 0644);
    ASSERT_TRUE(
        defaults->setPersistentDomain({ { QStringLiteral("a"), 1 } }, QStringLiteral("shared")));
    EXPECT_EQ(mode(domainFile(QStringLiteral("shared"))), 0644u);

    // A dotfile manager keeps the real file elsewhere and links to it.
    const QString real = home.path() + QStringLiteral("/dotfiles/linked.plist");
    test::writePropertyList(real, QVariantMap {});
    ASSERT_EQ(::symlink(QFile::encodeName(real).constData(),
                        QFile::encodeName(domainFile(QStringLiteral("linked"))).constData()),
              0);
    ASSERT_TRUE(
        defaults->setPersistentDomain({ { QStringLiteral("a"), 1 } }, QStringLiteral("linked")));
    EXPECT_TRUE(QFileInfo(domainFile(QStringLiteral("linked"))).isSymLink());
    EXPECT_EQ(PropertyList::readFile(real)->toMap().value(QStringLiteral("a")),
              QVariant(qint64(1)));
}

TEST_F(UserDefaultsTest, AWriterKilledMidWriteLeavesTheOldDomainWhole)
{
    const QString name = QStringLiteral("com.tallowcraft.Quillmont");
    ASSERT_TRUE(defaults->setPersistentDomain(hostDomain(), name));
    const QByteArray before = test::readFile(domainFile(name));

    // A child rewrites the domain with a large value over and over; it is
    // killed at some moment in the middle of that.
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        QVariantMap big = hostDomain();
        big[QStringLiteral("Blob")] = QByteArray(8 * 1024 * 1024, 'x');
        auto store = UserDefaults::create();
        for (;;)
            store->setPersistentDomain(big, name);
    }
    ::usleep(300 * 1000);
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);

    const auto after = defaults->persistentDomainForName(name);
    ASSERT_TRUE(after) << "the domain must always parse";
    QVariantMap withoutBlob = *after;
    withoutBlob.remove(QStringLiteral("Blob"));
    EXPECT_EQ(withoutBlob, hostDomain());
}

// Two processes update the same domain, each its own key, while this one
// reads: every read parses, and at the end neither lost the other's key.
TEST_F(UserDefaultsTest, ConcurrentUpdatersLoseNoKey)
{
    constexpr int kUpdates = 1000;
    ASSERT_TRUE(defaults->setPersistentDomain(
        { { QStringLiteral("Host"), QStringLiteral("kept") } }, QStringLiteral("shared")));
    std::vector<pid_t> updaters;
    for (const char *key : { "A", "B" }) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            auto own = UserDefaults::create();
            bool ok = true;
            for (int i = 1; i <= kUpdates; ++i) {
                ok = own->updatePersistentDomain(
                         QStringLiteral("shared"),
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
            const auto domain = defaults->persistentDomainForName(QStringLiteral("shared"));
            ASSERT_TRUE(domain) << "read " << reads << " did not parse";
            EXPECT_EQ(domain->value(QStringLiteral("Host")), QStringLiteral("kept"));
            ++reads;
            ::usleep(2000);
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an update failed";
    }
    const auto domain = defaults->persistentDomainForName(QStringLiteral("shared"));
    ASSERT_TRUE(domain);
    EXPECT_EQ(*domain,
              (QVariantMap { { QStringLiteral("Host"), QStringLiteral("kept") },
                             { QStringLiteral("A"), qint64(kUpdates) },
                             { QStringLiteral("B"), qint64(kUpdates) } }));
    EXPECT_GT(reads, 0);
}

} // namespace
