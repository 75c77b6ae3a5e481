// Naming discs from what detectcd prints; the tool's hostile output through a
// real process is the delegate's test.
#include "app/cdnames.h"

#include "tests/testsupport.h"

#include <gtest/gtest.h>

namespace {

TEST(CDNames, OutputToIdentifierToEnglishName)
{
    const struct
    {
        QByteArray output;
        std::optional<QString> identifier;
        QString name;
    } cases[] = {
        // Unicode blanks and line ends go from both ends, inner ones stay.
        { "\xc2\x85\xe2\x80\xa8 Visio\nVisio \xe3\x80\x80\r\n", QStringLiteral("Visio\nVisio"),
          QStringLiteral("Visio\nVisio") },
        { "B123B3B1-C2A0-47E7-AAAB-D1E2DBE259CB",
          QStringLiteral("B123B3B1-C2A0-47E7-AAAB-D1E2DBE259CB"),
          QStringLiteral("Vocaloid") }, // the last row is found too
        // Letter case counts: the table has it in capitals.
        { "f1c1c21b-f56e-400b-b0b0-270d817889f3",
          QStringLiteral("f1c1c21b-f56e-400b-b0b0-270d817889f3"),
          QStringLiteral("f1c1c21b-f56e-400b-b0b0-270d817889f3") },
        { " \n\t", QString(), QString() },
        { "\xef\xbb\xbfVisio\n", QStringLiteral("\uFEFFVisio"), QStringLiteral("\uFEFFVisio") },
        { "\xe2\x82", std::nullopt, {} }, // cut short at the end
        // Kept whole past a NUL: "other" and more is no unrecognised disc.
        { QByteArray("other\0x\n", 8), QString::fromLatin1("other\0x", 7),
          QString::fromLatin1("other\0x", 7) },
    };
    for (const auto &c : cases) {
        const auto identifier = discIdentifierFromOutput(c.output);
        ASSERT_EQ(identifier, c.identifier) << c.output.toPercentEncoding().constData();
        if (identifier) {
            EXPECT_EQ(englishDisplayName(*identifier), c.name);
        }
    }
}

} // namespace
