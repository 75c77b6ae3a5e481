// The host product's names are a contract with software we do not build, so
// they are checked letter for letter. The helper's own names, the express
// keyword and the detectcd path are pinned by the tests that run the
// stand-in host product.
#include "host/hostproduct.h"

#include <gtest/gtest.h>

namespace {

TEST(HostProduct, EditionsMainFirstWithTheirIdentifiersAndSchemes)
{
    const QStringList editions = HostProduct::editionNames();
    ASSERT_EQ(editions,
              (QStringList { QStringLiteral("Quillmont"), QStringLiteral("QuillmontGames") }));
    EXPECT_EQ(HostProduct::bundleIdentifier(editions[1]),
              QStringLiteral("com.tallowcraft.QuillmontGames"));
    EXPECT_EQ(HostProduct::mainBundleIdentifier(), QStringLiteral("com.tallowcraft.Quillmont"));
    EXPECT_EQ(HostProduct::identifyingURLScheme(editions[1]),
              QStringLiteral("com.tallowcraft.private-QuillmontGames-app-scheme"));
    EXPECT_EQ(HostProduct::mainIdentifyingURLScheme(),
              QStringLiteral("com.tallowcraft.private-Quillmont-app-scheme"));
}

} // namespace
