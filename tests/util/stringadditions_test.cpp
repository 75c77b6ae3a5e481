#include "util/stringadditions.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(StringAdditions, CharacterSets)
{
    const CharacterSets &sets = characterSets();
    const QString mixed = u" \t\r\u0085\u00A0\u2028\u3000a\u200B\"\0\x7F\x80\u00E9"_s;
    EXPECT_EQ(stringByRemovingCharactersInSet(mixed, sets.emptyCharacterSet), mixed);
    EXPECT_EQ(stringByRemovingCharactersInSet(mixed, sets.skipBetweenComponents),
              u"a\u200B\"\0\x7F\x80\u00E9"_s);
    EXPECT_EQ(stringByRemovingCharactersInSet(mixed, sets.delimitersOutsideOfQuotes),
              u"a\u200B\0\x7F\x80\u00E9"_s);
    EXPECT_EQ(stringByRemovingCharactersInSet(mixed, sets.asciiCharacterSet),
              u"\u0085\u00A0\u2028\u3000\u200B\x80\u00E9"_s);
}

TEST(StringAdditions, ComponentsOfCommandLine)
{
    const std::pair<QString, QStringList> cases[] = {
        { u""_s, {} },
        { u" \t\n "_s, {} },
        { u"  a  b "_s, { u"a"_s, u"b"_s } },
        { u"\"a b\" c"_s, { u"a b"_s, u"c"_s } },
        { u"x\"y z\"w"_s, { u"xy zw"_s } },
        { u"a\"b\"\"c\"d"_s, { u"abcd"_s } },
        { u"\"\""_s, { u""_s } },
        { u"\"\" x"_s, { u""_s, u"x"_s } },
        { u"\"abc"_s, { u"abc"_s } },
        { u"a\"  "_s, { u"a  "_s } },
        { u"a\\ b"_s, { u"a\\"_s, u"b"_s } },
        { u"'a b'"_s, { u"'a"_s, u"b'"_s } },
        { u"a\tb\nc\u3000d"_s, { u"a"_s, u"b"_s, u"c"_s, u"d"_s } },
    };
    for (const auto &[text, words] : cases)
        EXPECT_EQ(componentsOfCommandLine(text), words) << text.toStdString();
}

TEST(StringAdditions, AsciiAndNonAsciiRuns)
{
    const std::pair<QString, QStringList> cases[] = {
        { u""_s, {} },
        { u"abc"_s, { u"abc"_s } },
        { u"caf\u00E9"_s, { u"caf"_s, u"\u00E9"_s } },
        { u"\u00E9\u20AC"_s, { u""_s, u"\u00E9\u20AC"_s } },
        { u"a\u00E9b\U0001F600"_s, { u"a"_s, u"\u00E9"_s, u"b"_s, u"\U0001F600"_s } },
    };
    for (const auto &[text, runs] : cases)
        EXPECT_EQ(componentsSeparatedIntoAsciiAndNonAscii(text), runs) << text.toStdString();
}

TEST(StringAdditions, AppleScriptQuoting)
{
    const std::pair<QString, QString> cases[] = {
        { u""_s, u"\"\""_s },
        { u"say \"hi\""_s, u"\"say \" & quote & \"hi\" & quote & \"\""_s },
        { u"a\\b"_s, u"\"a\" & (ASCII character 92) & \"b\""_s },
        { u"x\ny\r\tz"_s, u"\"x\" & return & \"y\r\tz\""_s },
        { u"\n"_s, u"\"\" & return & \"\""_s },
        { u"\"\\"_s, u"\"\" & quote & \"\" & (ASCII character 92) & \"\""_s },
        { u"caf\u00E9"_s, u"\"caf\" & (\u00ABdata utf8c3a9\u00BB as Unicode text)"_s },
        { u"\u00E9"_s, u"\"\" & (\u00ABdata utf8c3a9\u00BB as Unicode text)"_s },
        { u"\u20ACx"_s, u"\"\" & (\u00ABdata utf8e282ac\u00BB as Unicode text) & \"x\""_s },
    };
    for (const auto &[text, quoted] : cases)
        EXPECT_EQ(stringQuotedForAppleScript(text), quoted) << text.toStdString();

    // The script is handed over as UTF-8, so the guillemets must be exactly these bytes.
    const QByteArray bytes = nonAsciiStringQuotedForAppleScript(u"\U0001F600"_s).toUtf8();
    EXPECT_EQ(bytes,
              QByteArray("(\xC2\xAB"
                         "data utf8f09f9880\xC2\xBB as Unicode text)"));
    EXPECT_EQ(nonAsciiStringQuotedForAppleScript(QString()), u"\"\""_s);
}

TEST(StringAdditions, BashQuotingRoundTripsThroughBash)
{
    const QString hostile[] = {
        u""_s,           u"it's"_s,         u"''"_s, u"$HOME $(id) `id`"_s,
        u"a\nb\r\tc"_s,  u"\\'\"\\\"!*?"_s, u"-n"_s, u"caf\u00E9 \U0001F600"_s,
        u"; exit 3 #"_s, u"${IFS}~/'x'"_s,
    };
    for (const QString &text : hostile) {
        const QString quoted = stringQuotedForBash(text);
        QProcess bash;
        bash.start(u"/bin/bash"_s, { u"-c"_s, u"printf %s "_s + quoted });
        ASSERT_TRUE(bash.waitForFinished(10000)) << quoted.toStdString();
        EXPECT_EQ(bash.exitCode(), 0) << quoted.toStdString();
        EXPECT_EQ(bash.readAllStandardOutput(), text.toUtf8()) << quoted.toStdString();
    }
}

TEST(StringAdditions, FindString)
{
    const QByteArray data("abcab\xff\0x", 8);
    struct Case
    {
        const char *s;
        QByteArray data;
        qint32 offset;
    };
    const Case cases[] = {
        { "", data, 0 },
        { "", QByteArray(), kNotFound },
        { "b", data, 1 },
        { "\xff", data, 5 },
        { "x", data, 7 },
        { "b\xfe", data, kNotFound },
        { "xy", "abx", kNotFound },
        { "abcd", "abc", kNotFound },
        { "abc", "abc", 0 },
    };
    for (const Case &c : cases)
        EXPECT_EQ(findString(c.s, c.data), c.offset) << c.s << " in " << c.data.toHex().data();
}

} // namespace
