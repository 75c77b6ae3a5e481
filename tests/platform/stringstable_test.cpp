#include "platform/stringstable.h"

#include "tests/testsupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using StringsTable::Table;

TEST(StringsTable, ReadsEveryForm)
{
    const Table expected {
        { u"Open"_s, u"Öffnen"_s },
        { u"Close…"_s, u"Schließen…"_s },
        { u"Quit"_s, u"Beenden"_s },
        { u"\" \\U25B9 \""_s, u"\" \u25B9 \""_s },
        { u"Escapes"_s, u"a\tb\nc \\ \"q\" 's' A\u00e9 \u00e9 \U0001F600"_s },
        { u"OK"_s, u"OK"_s },
    };
    const QString files[] = { u"table-utf8.strings"_s, u"table-utf16le.strings"_s,
                              u"table-utf16be.strings"_s, u"table.xml"_s, u"table.bplist"_s };
    for (const QString &file : files) {
        const std::optional<Table> table
            = StringsTable::readFile(test::dataPath(u"strings/"_s + file));
        ASSERT_TRUE(table) << file.toStdString();
        EXPECT_EQ(*table, expected) << file.toStdString();
    }
    EXPECT_FALSE(StringsTable::readFile(test::dataPath(u"strings"_s))) << "a folder";
}

TEST(StringsTable, ParsesTextSyntax)
{
    const std::pair<QByteArray, Table> cases[] = {
        { " /* only */ // comments\n\t", {} },
        { "\"k\" = \"v\"; \"k\" = \"w\";", { { u"k"_s, u"w"_s } } },
        { "\"alone\"; word;", { { u"alone"_s, u"alone"_s }, { u"word"_s, u"word"_s } } },
        { "url = http://example.com/a-b_c.$1;",
          { { u"url"_s, u"http://example.com/a-b_c.$1"_s } } },
        { "\"a\"/*x*/=//y\n\"b\"/**/;", { { u"a"_s, u"b"_s } } },
        { "\"\" = \"multi\nline\";", { { u""_s, u"multi\nline"_s } } },
        { "k = \"\\a\\b\\f\\v\\r\\0\\7\\77\\377\";", { { u"k"_s, u"\a\b\f\v\r\0\a?\u00ff"_s } } },
        { "k = \"\\1234\\U25b9\\u00E9\\U00413\";", { { u"k"_s, u"S4\u25B9\u00E9A3"_s } } },
        { "k = \"\\Ud83d\\uDE00\";", { { u"k"_s, u"\U0001F600"_s } } },
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(StringsTable::fromData(text), expected) << text.toStdString();
}

TEST(StringsTable, RejectsAnyError)
{
    const QByteArray cases[] = {
        // syntax
        "\"a\" = \"b\"",
        "\"a\" = \"b",
        "\"a\" = \"b\"; /* never closed",
        "\"a\" = ;",
        "\"a\" = \"b\" \"c\";",
        "a+b = c;",
        "\"a\" = \"b\\",
        // escapes
        "k = \"\\q\";",
        "k = \"\\U12G4\";",
        "k = \"\\400\";",
        "k = \"\\UD83Dx\";",
        "k = \"\\UDE00\";",
        // encodings
        "k; // cut short \xE2\x96",
        QByteArray("\xFF\xFEk\0;\0/\0/\0a\0b\0x", 13), // an odd byte at the end
        QByteArray("\xFF\xFEk\0=\0\"\0\x00\xD8\"\0;\0", 14), // a lone surrogate
        QByteArray("\xFE\xFF\0k\xDC\x00\0;", 8),
        // property lists of the wrong shape
        "<plist><array><string>a</string></array></plist>",
        "<plist><dict><key>a</key><integer>1</integer></dict></plist>",
        "bplist00 damaged",
    };
    for (const QByteArray &bytes : cases)
        EXPECT_FALSE(StringsTable::fromData(bytes)) << bytes.toStdString();
}

} // namespace
