// The bundle reader on real bundle folders; what a bundle holds, and that
// every opening reads the disk afresh, is the platform bundle's test.
#include "hostapps/qmbundle.h"

#include "tests/testsupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QVariantMap kInfo {
    { u"CFBundleIdentifier"_s, u"com.tallowcraft.Quillmont"_s },
    { u"CFBundleExecutable"_s, u"Quillmont"_s },
    { u"CFBundleVersion"_s, u"7.2.0"_s },
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
        { "Good.app/", true, u"com.tallowcraft.Quillmont"_s },
        { "NoInfo.app", false, {} },
        { "File.app", false, {} },
        { "InfoIsFolder.app", false, {} },
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

} // namespace
