// Naming discs from what detectcd prints.
#include "app/cdnames.h"

#include "tests/testsupport.h"

#include <gtest/gtest.h>

#include <QSet>

namespace {

TEST(CDNames, OutputToIdentifierToEnglishName)
{
    const struct
    {
        QByteArray output;
        std::optional<QString> identifier;
        QString name;
    } cases[] = {
        { "_msoffice2003_\n", QStringLiteral("_msoffice2003_"),
          QStringLiteral("Microsoft Office 2003") },
        { "  \r\nVisio\r\n\t", QStringLiteral("Visio"), QStringLiteral("Microsoft Visio") },
        { "visio\n", QStringLiteral("visio"), QStringLiteral("visio") }, // letter case counts
        { "quicken", QStringLiteral("quicken"), QStringLiteral("quicken") },
        { "other\n", QStringLiteral("other"), QStringLiteral("other") },
        { "ED6_WIN", QStringLiteral("ED6_WIN"),
          QStringLiteral("Falcom THE LEGEND OF HEROES VI \"SORA NO KISEKI\"") },
        { "f1c1c21b-f56e-400b-b0b0-270d817889f3",
          QStringLiteral("f1c1c21b-f56e-400b-b0b0-270d817889f3"),
          QStringLiteral("f1c1c21b-f56e-400b-b0b0-270d817889f3") },
        { "Visio\nVisio\n", QStringLiteral("Visio\nVisio"),
          QStringLiteral("Visio\nVisio") }, // inner line ends stay
        { "\xc2\x85\xe2\x80\xa8 Quicken \xe3\x80\x80", QStringLiteral("Quicken"),
          QStringLiteral("Quicken") },
        { " \n\t", QString(), QString() },
        { "", QString(), QString() },
        { "Quicken\xff", std::nullopt, {} },
        { "\xe2\x82", std::nullopt, {} }, // cut short at the end
    };
    for (const auto &c : cases) {
        const auto identifier = discIdentifierFromOutput(c.output);
        ASSERT_EQ(identifier, c.identifier) << c.output.toPercentEncoding().constData();
        if (identifier) {
            EXPECT_EQ(englishDisplayName(*identifier), c.name);
        }
    }
}

TEST(CDNames, TableIsWholeAndUnambiguous)
{
    QSet<QString> identifiers;
    for (const CDName &row : CDNames) {
        identifiers.insert(QString::fromUtf16(row.identifier));
        EXPECT_FALSE(QString::fromUtf16(row.displayName).isEmpty());
    }
    EXPECT_EQ(identifiers.size(), 29);
    EXPECT_EQ(englishDisplayName(QStringLiteral("B123B3B1-C2A0-47E7-AAAB-D1E2DBE259CB")),
              QStringLiteral("Vocaloid"));
    EXPECT_EQ(englishDisplayName(QStringLiteral("KGD_PX")),
              QStringLiteral("KOGADO JyouKyouKaishi!"));
}

} // namespace
