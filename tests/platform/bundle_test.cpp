// Bundles on disk: information values, resources, localized strings and the
// language choice, and the running program's own bundle.
#include "platform/bundle.h"

#include "platform/filesystemrepresentation.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

// A host-like bundle with English, German and Japanese tables.
class BundleTest : public testing::Test
{
protected:
    void SetUp() override
    {
        path = dir.path() + QStringLiteral("/Quillmont.app");
        test::makeBundle(
            path,
            { { QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.tallowcraft.Quillmont") },
              { QStringLiteral("CFBundleName"), QStringLiteral("Quillmont") },
              { QStringLiteral("CFBundleExecutable"), QStringLiteral("Quillmont") } });
        const QString resources = path + QStringLiteral("/Contents/Resources/");
        test::writeFile(resources + QStringLiteral("English.lproj/TCL.strings"),
                        "\"Microsoft Office XP\" = \"Microsoft Office XP (English)\";\n"
                        "\"other\" = \"unknown disc\";\n");
        test::writeFile(resources + QStringLiteral("de.lproj/TCL.strings"),
                        "/* German */\n\"other\" = \"unbekannte CD\";\n");
        test::writeFile(resources + QStringLiteral("de.lproj/InfoPlist.strings"),
                        "CFBundleName = \"Quillmont auf Deutsch\";\n");
        test::writeFile(resources + QStringLiteral("ja_JP.lproj/TCL.strings"),
                        "\"other\" = \"\xe4\xb8\x8d\xe6\x98\x8e\";\n");
        test::writeFile(resources + QStringLiteral("fr.lproj/TCL.strings"),
                        "\"other\" = broken escape \\q;\n");
        test::writeFile(resources + QStringLiteral("disc.png"), "png");
        test::writeFile(resources + QStringLiteral("English.lproj/CDHelper.ui"), "<ui/>");
    }

    QTemporaryDir dir;
    QString path;
};

TEST_F(BundleTest, LanguageIsChosenFromTheLocaleVariables)
{
    const struct
    {
        const char *lcAll, *lcMessages, *lang;
        QString other;
    } cases[] = {
        { nullptr, nullptr, "de_DE.UTF-8", QStringLiteral("unbekannte CD") },
        { nullptr, "de_AT.UTF-8@euro", "en_US.UTF-8", QStringLiteral("unbekannte CD") },
        { "en_GB.UTF-8", "de_DE.UTF-8", "de_DE.UTF-8", QStringLiteral("unknown disc") },
        { nullptr, nullptr, "ja_JP.UTF-8", QString::fromUtf8("\xe4\xb8\x8d\xe6\x98\x8e") },
        { nullptr, nullptr, "C", QStringLiteral("unknown disc") },
        { nullptr, nullptr, nullptr, QStringLiteral("unknown disc") },
        { nullptr, nullptr, "pt_BR.UTF-8", QStringLiteral("unknown disc") },
        // A broken table is no table: the key itself is shown, not half a table.
        { nullptr, nullptr, "fr_FR.UTF-8", QStringLiteral("other") },
    };
    for (const auto &c : cases) {
        test::ScopedEnvironment env { { "LC_ALL", c.lcAll },
                                      { "LC_MESSAGES", c.lcMessages },
                                      { "LANG", c.lang } };
        const auto bundle = Bundle::create(path);
        ASSERT_TRUE(bundle);
        EXPECT_EQ(
            bundle->localizedString(QStringLiteral("other"), QString(), QStringLiteral("TCL")),
            c.other)
            << (c.lang ? c.lang : "(no LANG)");
    }
}

TEST_F(BundleTest, MissingKeysFallBackToValueThenKey)
{
    test::ScopedEnvironment env { { "LC_ALL", nullptr },
                                  { "LC_MESSAGES", nullptr },
                                  { "LANG", "de_DE.UTF-8" } };
    const auto bundle = Bundle::create(path);
    const QString tcl = QStringLiteral("TCL");
    // German has a TCL table, so English's entries are not consulted.
    EXPECT_EQ(bundle->localizedString(QStringLiteral("Microsoft Office XP"), QString(), tcl),
              QStringLiteral("Microsoft Office XP"));
    EXPECT_EQ(bundle->localizedString(QStringLiteral("x"), QStringLiteral("fallback"), tcl),
              QStringLiteral("fallback"));
    EXPECT_EQ(bundle->localizedString(QStringLiteral("x"), QString(), QStringLiteral("NoTable")),
              QStringLiteral("x"));
    EXPECT_EQ(bundle->valueForInfoDictionaryKey(QStringLiteral("CFBundleName")).toString(),
              QStringLiteral("Quillmont auf Deutsch"));
    EXPECT_EQ(bundle->infoDictionary().value(QStringLiteral("CFBundleName")).toString(),
              QStringLiteral("Quillmont"));
}

TEST_F(BundleTest, FoldersAndResources)
{
    test::ScopedEnvironment env { { "LC_ALL", "C" } };
    const auto bundle = Bundle::create(path + u'/');
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->bundlePath(), path);
    EXPECT_EQ(bundle->bundleIdentifier(), QStringLiteral("com.tallowcraft.Quillmont"));
    EXPECT_EQ(bundle->sharedSupportPath(), path + QStringLiteral("/Contents/SharedSupport"));
    EXPECT_EQ(bundle->pathForResource(QStringLiteral("disc"), QStringLiteral("png")),
              path + QStringLiteral("/Contents/Resources/disc.png"));
    EXPECT_EQ(bundle->pathForResource(QStringLiteral("CDHelper"), QStringLiteral("ui")),
              path + QStringLiteral("/Contents/Resources/English.lproj/CDHelper.ui"));
    EXPECT_FALSE(bundle->pathForResource(QStringLiteral("missing"), QStringLiteral("ui")));
    EXPECT_FALSE(Bundle::create(dir.path() + QStringLiteral("/Missing.app")));
}

TEST_F(BundleTest, ExecutableMustBeNamedAndPresentInsideTheBundle)
{
    const struct
    {
        QVariant name;
        bool found;
    } cases[] = {
        { QStringLiteral("Quillmont"), true },
        { QStringLiteral("Absent"), false },
        { QStringLiteral("../../Quillmont.app/Contents/MacOS/Quillmont"), false },
        { QStringLiteral(".."), false },
        { 42, false },
        { QVariant(), false },
    };
    for (const auto &c : cases) {
        QVariantMap info { { QStringLiteral("CFBundleIdentifier"), QStringLiteral("x") } };
        if (c.name.isValid())
            info[QStringLiteral("CFBundleExecutable")] = c.name;
        test::writePropertyList(path + QStringLiteral("/Contents/Info.plist"), info);
        EXPECT_EQ(Bundle::create(path)->executablePath().has_value(), c.found)
            << c.name.toString().toStdString();
    }
}

// Run by MainBundle.IsTheAppFolderHoldingTheProgram inside a copy of this
// program placed in a bundle; prints what the program sees as its bundle.
TEST(MainBundle, DISABLED_Print)
{
    const auto bundle = Bundle::mainBundle();
    printf("main bundle: %s\n", bundle ? qPrintable(bundle->bundlePath()) : "(none)");
}

TEST(MainBundle, IsTheAppFolderHoldingTheProgram)
{
    EXPECT_FALSE(Bundle::mainBundle()) << "the test program does not run from a bundle";

    QTemporaryDir dir;
    const QString bundle = dir.path() + QStringLiteral("/My Helper.app");
    test::makeBundle(bundle, { { QStringLiteral("CFBundleExecutable"), QStringLiteral("probe") } });
    const QString program = bundle + QStringLiteral("/Contents/MacOS/probe");
    QFile::remove(program);
    ASSERT_TRUE(QFile::copy(QStringLiteral("/proc/self/exe"), program));
    QProcess probe;
    probe.start(program,
                { QStringLiteral("--gtest_also_run_disabled_tests"),
                  QStringLiteral("--gtest_filter=MainBundle.DISABLED_Print") });
    ASSERT_TRUE(probe.waitForFinished(60000));
    EXPECT_TRUE(
        probe.readAllStandardOutput().contains("main bundle: " + QFile::encodeName(bundle) + '\n'));
}

} // namespace
