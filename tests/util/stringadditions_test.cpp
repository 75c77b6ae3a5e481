#include "util/stringadditions.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(StringAdditions, ComponentsOfCommandLine)
{
    const std::pair<QString, QStringList> cases[] = {
        { u" \t\n "_s, {} },
        { u"  a  b "_s, { u"a"_s, u"b"_s } },
        { u"\"a b\" c"_s, { u"a b"_s, u"c"_s } },
        { u"x\"y z\"w"_s, { u"xy zw"_s } },
        { u"\"\" x"_s, { u""_s, u"x"_s } },
        { u"a\"b  "_s, { u"ab  "_s } }, // an unclosed quote runs to the end
        { u"a\\ b 'c d'"_s, { u"a\\"_s, u"b"_s, u"'c"_s, u"d'"_s } },
        { u"a\tb\nc\u3000d\u200Be"_s, { u"a"_s, u"b"_s, u"c"_s, u"d\u200Be"_s } },
    };
    for (const auto &[text, words] : cases)
        EXPECT_EQ(componentsOfCommandLine(text), words) << text.toStdString();
}

TEST(StringAdditions, AsciiAndNonAsciiRuns)
{
    const std::pair<QString, QStringList> cases[] = {
        { u"caf\u00E9"_s, { u"caf"_s, u"\u00E9"_s } },
        { u"\u00E9\u20AC"_s, { u""_s, u"\u00E9\u20AC"_s } },
        { u"a\x7F\x80"_s, { u"a\x7F"_s, u"\x80"_s } },
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
        { u"x\ny\r\tz"_s, u"\"x\" & return & \"y\r\tz\""_s },
        { u"\"\\"_s, u"\"\" & quote & \"\" & (ASCII character 92) & \"\""_s },
        { u"caf\u00E9"_s, u"\"caf\" & (\u00ABdata utf8c3a9\u00BB as Unicode text)"_s },
        { u"\u20ACx"_s, u"\"\" & (\u00ABdata utf8e282ac\u00BB as Unicode text) & \"x\""_s },
    };
    for (const auto &[text, quoted] : cases)
        EXPECT_EQ(stringQuotedForAppleScript(text), quoted) << text.toStdString();
}

TEST(StringAdditions, FileSystemRepresentationForm)
{
    const std::pair<QString, QString> cases[] = {
        // An escaped byte (U+DC80..U+DCFF) survives; the form ends at a NUL.
        { u"caf\u00E9\xDCFF\0x"_s, u"caf\u00E9\xDCFF"_s },
        { u"a\xD800"_s, u""_s }, // no byte form
    };
    for (const auto &[text, form] : cases)
        EXPECT_EQ(stringInFileSystemRepresentationForm(text), form) << text.toStdString();
}

TEST(StringAdditions, FindString)
{
    const QByteArray data("abcab\xff\0x", 8);
    const std::tuple<const char *, QByteArray, qint32> cases[] = {
        { "", data, 0 },     { "", QByteArray(), kNotFound }, { "\xff", data, 5 },
        { "x", data, 7 },    { "b\xfe", data, kNotFound },    { "abcd", "abc", kNotFound },
        { "abc", "abc", 0 },
    };
    for (const auto &[s, in, offset] : cases)
        EXPECT_EQ(findString(s, in), offset) << s << " in " << in.toHex().data();
}

} // namespace
