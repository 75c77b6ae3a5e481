// Bundles on disk: information values, resources, localized strings and the
// language choice.
#include "platform/bundle.h"

#include "tests/testsupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A host-like bundle with English, German and Japanese tables, and a broken French one.
class BundleTest : public testing::Test
{
protected:
    void SetUp() override
    {
        test::makeBundle(
            path,
            { { u"CFBundleName"_s, u"Quillmont"_s }, { u"CFBundleExecutable"_s, u"Quillmont"_s } });
        const QString resources = path + u"/Contents/Resources/"_s;
        test::writeFile(
            resources + u"English.lproj/TCL.strings"_s,
            "\"Office XP\" = \"Office XP (English)\";\n\"other\" = \"unknown disc\";\n");
        test::writeFile(resources + u"de.lproj/TCL.strings"_s, "\"other\" = \"unbekannte CD\";\n");
        test::writeFile(resources + u"de.lproj/InfoPlist.strings"_s,
                        "CFBundleName = \"Quillmont auf Deutsch\";\n");
        test::writeFile(resources + u"ja_JP.lproj/TCL.strings"_s,
                        "\"other\" = \"\xe4\xb8\x8d\xe6\x98\x8e\";\n");
        test::writeFile(resources + u"fr.lproj/TCL.strings"_s, "\"other\" = broken escape \\q;\n");
        test::writeFile(resources + u"disc.png"_s, "png");
        test::writeFile(resources + u"English.lproj/CDHelper.ui"_s, "<ui/>");
    }

    QTemporaryDir dir;
    QString path = dir.path() + u"/Quillmont.app"_s;
};

TEST_F(BundleTest, LanguageIsChosenFromTheLocaleVariables)
{
    // LC_ALL, LC_MESSAGES, LANG and what "other" reads as.
    const std::tuple<const char *, const char *, const char *, QString> cases[] = {
        { nullptr, nullptr, "de_DE.UTF-8", u"unbekannte CD"_s },
        { nullptr, "de_AT.UTF-8@euro", "en_US.UTF-8", u"unbekannte CD"_s },
        { "en_GB.UTF-8", "de_DE.UTF-8", "de_DE.UTF-8", u"unknown disc"_s },
        { nullptr, nullptr, "ja_JP.UTF-8", QString::fromUtf8("\xe4\xb8\x8d\xe6\x98\x8e") },
        { nullptr, nullptr, "pt_BR.UTF-8", u"unknown disc"_s },
        // A broken table is no table: the key itself is shown, not half a table.
        { nullptr, nullptr, "fr_FR.UTF-8", u"other"_s },
    };
    for (const auto &[lcAll, lcMessages, lang, other] : cases) {
        SCOPED_TRACE(lang);
        test::ScopedEnvironment env { { "LC_ALL", lcAll },
                                      { "LC_MESSAGES", lcMessages },
                                      { "LANG", lang } };
        const auto bundle = Bundle::create(path);
        ASSERT_TRUE(bundle);
        EXPECT_EQ(bundle->localizedString(u"other"_s, QString(), u"TCL"_s), other);
    }
}

TEST_F(BundleTest, FallbacksAndResources)
{
    test::ScopedEnvironment env { { "LC_ALL", nullptr },
                                  { "LC_MESSAGES", nullptr },
                                  { "LANG", "de_DE.UTF-8" } };
    const auto bundle = Bundle::create(path + u'/');
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->bundlePath(), path);
    // German has a TCL table, so English's entries are not consulted.
    EXPECT_EQ(bundle->localizedString(u"Office XP"_s, QString(), u"TCL"_s), u"Office XP"_s);
    EXPECT_EQ(bundle->localizedString(u"x"_s, u"fallback"_s, u"TCL"_s), u"fallback"_s);
    EXPECT_EQ(bundle->localizedString(u"x"_s, QString(), u"NoTable"_s), u"x"_s);
    EXPECT_EQ(bundle->valueForInfoDictionaryKey(u"CFBundleName"_s).toString(),
              u"Quillmont auf Deutsch"_s);

    EXPECT_EQ(bundle->pathForResource(u"disc"_s, u"png"_s),
              path + u"/Contents/Resources/disc.png"_s);
    EXPECT_EQ(bundle->pathForResource(u"CDHelper"_s, u"ui"_s),
              path + u"/Contents/Resources/English.lproj/CDHelper.ui"_s);
    EXPECT_FALSE(bundle->pathForResource(u"missing"_s, u"ui"_s));
}

TEST_F(BundleTest, ExecutableMustBeNamedAndPresentInsideTheBundle)
{
    const std::pair<QString, bool> cases[] = {
        { u"Quillmont"_s, true },
        { u"Absent"_s, false },
        { u"../../Quillmont.app/Contents/MacOS/Quillmont"_s, false },
        { u".."_s, false }, // Contents itself exists
    };
    for (const auto &[name, found] : cases) {
        test::writePropertyList(path + u"/Contents/Info.plist"_s,
                                QVariantMap { { u"CFBundleExecutable"_s, name } });
        EXPECT_EQ(Bundle::create(path)->executablePath().has_value(), found) << name.toStdString();
    }
}

// An Info.plist rewritten in place through a shared mapping keeps its inode,
// size and times, and is still read anew.
TEST_F(BundleTest, AnInfoPlistRewrittenInPlaceIsReadAnew)
{
    QFile file(path + u"/Contents/Info.plist"_s);
    const QByteArray text
        = "<plist><dict><key>CFBundleName</key><string>First</string></dict></plist>";
    test::writeFile(file.fileName(), text);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    uchar *mapped = file.map(0, text.size());
    ASSERT_TRUE(mapped);
    for (const QByteArray name : { "First", "Other" }) {
        std::memcpy(mapped + text.indexOf("First"), name.constData(), 5);
        if (name == "First")
            ::usleep(2100000); // older than the clock's grain
        EXPECT_EQ(Bundle::create(path)->infoDictionary().value(u"CFBundleName"_s),
                  QString::fromLatin1(name));
    }
}

} // namespace
