// The bundle reader on real bundle folders.
#include "hostapps/qmbundle.h"

#include "tests/testsupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QVariantMap kInfo {
    { QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.tallowcraft.Quillmont") },
    { QStringLiteral("CFBundleExecutable"), QStringLiteral("Quillmont") },
    { QStringLiteral("CFBundleVersion"), QStringLiteral("7.2.0") },
};

TEST(QMBundle, OpensOnlyFoldersWithAReadableInfoPlist)
{
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const auto at = [&](const char *name) { return dir.path() + u'/' + QLatin1String(name); };
    test::makeBundle(at("Good.app"), kInfo);
    QDir().mkpath(at("NoInfo.app/Contents"));
    test::writeFile(at("File.app"), "not a folder");
    QDir().mkpath(at("InfoIsFolder.app/Contents/Info.plist"));
    test::makeBundle(at("Locked.app"), kInfo);
    ::chmod(QFile::encodeName(at("Locked.app/Contents/Info.plist")).constData(), 0);
    test::writeFile(at("Garbage.app/Contents/Info.plist"), "\x00\x01 not a plist");

    const struct
    {
        const char *name;
        bool opens;
        std::optional<QString> identifier;
    } cases[] = {
        { "Good.app", true, QStringLiteral("com.tallowcraft.Quillmont") },
        { "Good.app/", true, QStringLiteral("com.tallowcraft.Quillmont") },
        { "NoInfo.app", false, {} },
        { "File.app", false, {} },
        { "InfoIsFolder.app", false, {} },
        { "Missing.app", false, {} },
        // A malformed Info.plist still opens a bundle, with nothing in it.
        { "Garbage.app", true, std::nullopt },
    };
    for (const auto &c : cases) {
        const auto bundle = QMBundle::bundleWithPath(at(c.name));
        ASSERT_EQ(bundle != nullptr, c.opens) << c.name;
        if (bundle) {
            EXPECT_EQ(bundle->bundleIdentifier(), c.identifier) << c.name;
        }
    }

    const auto lockedOpens = test::runUnprivileged(
        [](const QString &path) { return QMBundle::bundleWithPath(path) != nullptr; },
        at("Locked.app"));
    ASSERT_TRUE(lockedOpens.has_value());
    EXPECT_FALSE(*lockedOpens);
}

TEST(QMBundle, ValuesAndAbsences)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Quillmont.app");
    test::makeBundle(path, kInfo);
    const auto bundle = QMBundle::bundleWithPath(path);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->executablePath(), path + QStringLiteral("/Contents/MacOS/Quillmont"));
    EXPECT_EQ(bundle->objectForInfoDictionaryKey(QStringLiteral("CFBundleVersion")),
              QVariant(QStringLiteral("7.2.0")));
    EXPECT_FALSE(bundle->objectForInfoDictionaryKey(QStringLiteral("NoSuchKey")).isValid());

    const QString bare = dir.path() + QStringLiteral("/Bare.app");
    test::makeBundle(bare, { { QStringLiteral("CFBundleVersion"), 7 } });
    const auto bareBundle = QMBundle::bundleWithPath(bare);
    ASSERT_TRUE(bareBundle);
    EXPECT_FALSE(bareBundle->executablePath());
    EXPECT_FALSE(bareBundle->bundleIdentifier());
}

TEST(QMBundle, EveryOpeningReadsTheDiskAfresh)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Quillmont.app");
    test::makeBundle(path, kInfo);
    const auto before = QMBundle::bundleWithPath(path);
    QVariantMap updated = kInfo;
    updated[QStringLiteral("CFBundleVersion")] = QStringLiteral("7.3.0");
    test::makeBundle(path, updated);
    const auto after = QMBundle::bundleWithPath(path);
    EXPECT_EQ(before->objectForInfoDictionaryKey(QStringLiteral("CFBundleVersion")).toString(),
              QStringLiteral("7.2.0"));
    EXPECT_EQ(after->objectForInfoDictionaryKey(QStringLiteral("CFBundleVersion")).toString(),
              QStringLiteral("7.3.0"));
}

} // namespace
