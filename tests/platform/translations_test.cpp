#include "platform/translations.h"

#include "tests/testsupport.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

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

// A damaged or foreign translation is refused before Qt reads it: Qt trusts
// every length and offset in a file it has taken.
TEST(Translations, OnlyASoundFileIsUsed)
{
    const QByteArray built = test::readFile(QStringLiteral(RARURU_TRANSLATIONS "/raruru_de.qm"));
    // The built file: magic, then the blocks language (5 + 2 bytes), hash
    // table, messages, plural rules.
    const auto word = [&](qsizetype at) { return qFromBigEndian<quint32>(built.constData() + at); };
    const qsizetype hashes = 16 + 7, messages = hashes + 5 + word(hashes + 1);
    const quint32 messagesSize = word(messages + 1);
    ASSERT_EQ(built.at(hashes), '\x42');
    ASSERT_EQ(built.at(messages), '\x69');
    const auto setWord = [](QByteArray &data, qsizetype at, quint32 value) {
        qToBigEndian(value, data.data() + at);
    };
    const std::pair<const char *, std::function<void(QByteArray &)>> cases[] = {
        { "as built", [](QByteArray &) {} },
        { "another magic", [](QByteArray &data) { data[3] = 'x'; } },
        { "a block longer than the file",
          [&](QByteArray &data) { setWord(data, messages + 1, messagesSize + 16); } },
        { "a hash offset past the messages",
          [&](QByteArray &data) { setWord(data, hashes + 5 + 4, messagesSize + 8); } },
        { "a hash offset inside a message",
          [&](QByteArray &data) { setWord(data, hashes + 5 + 4, 4); } },
        { "a changed source text",
          [&](QByteArray &data) { data[built.indexOf("&Install", messages) + 1] ^= 0x20; } },
        { "an odd translation length",
          [&](QByteArray &data) { setWord(data, messages + 5 + 1, 0x19); } },
        { "a field cut inside its length",
          [&](QByteArray &data) {
              data.insert(messages + 5 + messagesSize, "\x06\0\0\0", 4);
              setWord(data, messages + 1, messagesSize + 4);
          } },
        { "a null translation",
          [&](QByteArray &data) { setWord(data, messages + 5 + 1, 0xffffffff); } },
        { "another language", [](QByteArray &data) { data[16 + 5] = 'f'; } },
        { "a dependency", [](QByteArray &data) { data += QByteArray("\x96\0\0\0\2x\0", 7); } },
        { "a block twice", [&](QByteArray &data) { data += data.mid(16, 7); } },
        { "a byte more", [](QByteArray &data) { data += 'x'; } },
    };
    for (const auto &[what, damage] : cases) {
        SCOPED_TRACE(what);
        QByteArray data = built;
        damage(data);
        QString problem;
        const auto translator = translatorFromData(data, u"de"_s, &problem);
        EXPECT_EQ(translator != nullptr, data == built) << problem.toStdString();
        EXPECT_EQ(problem.isEmpty(), data == built);
        if (translator) {
            EXPECT_EQ(translator->translate("raruru-cdtools", "unknown command"),
                      u"unbekannter Befehl"_s);
        }
    }
    // Cut anywhere, even at the end of a block, it is refused.
    for (qsizetype size = 0; size < built.size(); ++size)
        EXPECT_FALSE(translationDataProblem(built.first(size), u"de"_s).isEmpty()) << size;
}

} // namespace
