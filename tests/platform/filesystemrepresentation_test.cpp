#include "platform/filesystemrepresentation.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Every byte string must come back unchanged through its text.
TEST(FileSystemRepresentation, BytesRoundTripThroughText)
{
    QByteArray everyHighByte;
    for (int b = 0x80; b <= 0xff; ++b)
        everyHighByte += char(b);
    const QByteArray cases[] = {
        "/media/caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x92\xbf",
        "/a\xe2\x82", // truncated sequence at the end
        "/a\xc0\xaf", // overlong slash
        "/a\xed\xa0\x80", // encoded surrogate
        "/a\xf4\x90\x80\x80", // beyond U+10FFFF
        everyHighByte,
        "",
    };
    for (const QByteArray &bytes : cases) {
        const auto back = fileSystemRepresentation(stringWithFileSystemRepresentation(bytes));
        ASSERT_TRUE(back.has_value()) << bytes.toPercentEncoding().constData();
        EXPECT_EQ(*back, bytes);
    }
}

TEST(FileSystemRepresentation, TextsWithoutBytesHaveNoRepresentation)
{
    const QString cases[] = {
        u"a"_s + QChar(0) + u"b"_s,
        QString(QChar(0xD800)), // lone high surrogate
        QString(QChar(0xDC41)), // low surrogate below the escapes
    };
    for (const QString &text : cases)
        EXPECT_FALSE(fileSystemRepresentation(text).has_value()) << text.toStdString();
    // A real character outside the BMP is fine.
    EXPECT_EQ(fileSystemRepresentation(QString::fromUtf8("\xf0\x9f\x92\xbf")),
              QByteArray("\xf0\x9f\x92\xbf"));
}

} // namespace
