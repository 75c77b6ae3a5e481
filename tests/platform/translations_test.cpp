#include "platform/translations.h"

#include "tests/testsupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(Translations, PreferredLanguagesReadTheEnvironmentAsGettextDoes)
{
    // LANGUAGE, LC_ALL, LC_MESSAGES, LANG; the languages to try.
    const std::pair<LanguageEnvironment, QStringList> cases[] = {
        { {}, {} },
        { { {}, {}, {}, u"de_DE.UTF-8@euro"_s }, { u"de_DE"_s, u"de"_s } },
        // The first variable set decides, LC_ALL first.
        { { {}, u"fr_CA.UTF-8"_s, u"de_DE"_s, u"ja_JP"_s }, { u"fr_CA"_s, u"fr"_s } },
        { { {}, {}, u"de_AT"_s, u"fr_FR.UTF-8"_s }, { u"de_AT"_s, u"de"_s } },
        // LANGUAGE lists them, unless the locale is C or POSIX.
        { { u"fr_CA:de::de_DE"_s, {}, {}, u"ja_JP"_s },
          { u"fr_CA"_s, u"fr"_s, u"de"_s, u"de_DE"_s } },
        { { u"de"_s, {}, {}, u"C.UTF-8"_s }, {} },
        { { u"de"_s, {}, {}, {} }, {} },
        // English, the texts' own, and C end the list.
        { { u"fr:en_GB:de"_s, {}, {}, u"de_DE"_s }, { u"fr"_s } },
        { { u"fr:C:de"_s, {}, {}, u"de_DE"_s }, { u"fr"_s } },
        { { {}, {}, {}, u"en_US.UTF-8"_s }, {} },
        // Names that are no language never become part of a file name.
        { { u"../../x:de_/x:de"_s, {}, {}, u"fr_FR"_s }, { u"de"_s } },
    };
    for (const auto &[environment, languages] : cases) {
        EXPECT_EQ(preferredLanguages(environment), languages)
            << environment.language.toStdString() << ' ' << environment.lcAll.toStdString() << ' '
            << environment.lcMessages.toStdString() << ' ' << environment.lang.toStdString();
    }
}

} // namespace
