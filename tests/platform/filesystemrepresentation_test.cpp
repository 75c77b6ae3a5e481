#include "platform/filesystemrepresentation.h"

#include <gtest/gtest.h>

namespace {

struct BytesCase
{
    const char *name;
    QByteArray bytes;
};

// Every byte string must come back unchanged through its text.
TEST(FileSystemRepresentation, BytesRoundTripThroughText)
{
    const BytesCase cases[] = {
        { "ascii", "/media/cdrom" },
        { "utf8", "/media/caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x92\xbf" },
        { "latin1 byte", "/media/caf\xe9" },
        { "lone continuation", "/a\x80z" },
        { "truncated sequence at end", "/a\xe2\x82" },
        { "overlong slash", "/a\xc0\xaf" },
        { "encoded surrogate", "/a\xed\xa0\x80" },
        { "beyond U+10FFFF", "/a\xf4\x90\x80\x80" },
        { "every high byte",
          [] {
              QByteArray all;
              for (int b = 0x80; b <= 0xff; ++b)
                  all += char(b);
              return all;
          }() },
        { "newline and blanks", "/media/my disc\nvolume" },
        { "empty", "" },
    };
    for (const auto &c : cases) {
        const QString text = stringWithFileSystemRepresentation(c.bytes);
        const auto back = fileSystemRepresentation(text);
        ASSERT_TRUE(back.has_value()) << c.name;
        EXPECT_EQ(*back, c.bytes) << c.name;
    }
}

TEST(FileSystemRepresentation, ValidUtf8DecodesAsText)
{
    EXPECT_EQ(stringWithFileSystemRepresentation(QByteArray("/caf\xc3\xa9")),
              QStringLiteral("/caf\u00e9"));
    // An escaped byte is a lone low surrogate, distinct from any character.
    const QString escaped = stringWithFileSystemRepresentation(QByteArray("\xe9"));
    ASSERT_EQ(escaped.size(), 1);
    EXPECT_EQ(escaped.at(0).unicode(), 0xDCE9);
}

TEST(FileSystemRepresentation, TextsWithoutBytesHaveNoRepresentation)
{
    const struct
    {
        const char *name;
        QString text;
    } cases[] = {
        { "NUL", QStringLiteral("a") + QChar(0) + QStringLiteral("b") },
        { "lone high surrogate", QString(QChar(0xD800)) },
        { "low surrogate below the escapes", QString(QChar(0xDC41)) },
    };
    for (const auto &c : cases)
        EXPECT_FALSE(fileSystemRepresentation(c.text).has_value()) << c.name;
    // A real character outside the BMP is fine.
    EXPECT_EQ(fileSystemRepresentation(QString::fromUtf8("\xf0\x9f\x92\xbf")),
              QByteArray("\xf0\x9f\x92\xbf"));
}

TEST(FileSystemRepresentation, DisplayableStringReplacesEscapes)
{
    const QString text = stringWithFileSystemRepresentation(QByteArray("a\xff\xf0\x9f\x92\xbf"));
    EXPECT_EQ(displayableString(text), QString::fromUtf8("a\xef\xbf\xbd\xf0\x9f\x92\xbf"));
}

} // namespace
