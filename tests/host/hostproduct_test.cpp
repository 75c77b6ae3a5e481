// The host product's names are a contract with software we do not build: a
// typo here breaks every host, so each text is checked letter for letter.
#include "host/hostproduct.h"

#include <gtest/gtest.h>

namespace {

TEST(HostProduct, EditionsAndTheirNames)
{
    EXPECT_EQ(HostProduct::editionNames(),
              (QStringList { QStringLiteral("Quillmont"), QStringLiteral("QuillmontGames") }));
    const struct
    {
        QString edition, identifier, scheme;
    } cases[] = {
        { QStringLiteral("Quillmont"), QStringLiteral("com.tallowcraft.Quillmont"),
          QStringLiteral("com.tallowcraft.private-Quillmont-app-scheme") },
        { QStringLiteral("QuillmontGames"), QStringLiteral("com.tallowcraft.QuillmontGames"),
          QStringLiteral("com.tallowcraft.private-QuillmontGames-app-scheme") },
    };
    for (const auto &c : cases) {
        EXPECT_EQ(HostProduct::bundleIdentifier(c.edition), c.identifier);
        EXPECT_EQ(HostProduct::identifyingURLScheme(c.edition), c.scheme);
    }
    EXPECT_EQ(HostProduct::mainBundleIdentifier(), cases[0].identifier);
    EXPECT_EQ(HostProduct::mainIdentifyingURLScheme(), cases[0].scheme);
    EXPECT_EQ(HostProduct::probeURL(cases[0].scheme),
              QStringLiteral("com.tallowcraft.private-Quillmont-app-scheme:fake"));
}

TEST(HostProduct, HelperAndToolNames)
{
    EXPECT_EQ(HostProduct::detectcdPathComponents().join(u'/'),
              QStringLiteral("Quillmont/bin/detectcd"));
    EXPECT_EQ(QString::fromUtf16(HostProduct::kHelperBundleName),
              QStringLiteral("Quillmont DI Raruru.app"));
    EXPECT_EQ(QString::fromUtf16(HostProduct::kHelperResourceName) + u'.'
                  + QString::fromUtf16(HostProduct::kHelperResourceType),
              QString::fromUtf16(HostProduct::kHelperBundleName));
    EXPECT_EQ(QString::fromUtf16(HostProduct::kHelperBundleIdentifier),
              QStringLiteral("com.tallowcraft.quillmont DI raruru"));
    const char keyword[] = "expr";
    EXPECT_EQ(HostProduct::kExpressKeyword,
              (uint32_t(keyword[0]) << 24) | (uint32_t(keyword[1]) << 16)
                  | (uint32_t(keyword[2]) << 8) | uint32_t(keyword[3]));
    EXPECT_EQ(HostProduct::kLaunchOptions, 0x10000u | 0x100u);
}

} // namespace
