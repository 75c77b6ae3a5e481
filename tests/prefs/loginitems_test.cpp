// The login item edit and the version reading, as tables.
#include "prefs/loginitems.h"

#include "tests/testsupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

QVariantMap item(const QString &path)
{
    return { { QStringLiteral("Path"), path }, { QStringLiteral("Hide"), qint64(0) } };
}

const QVariantMap A = item(QStringLiteral("/usr/lib/Mail.app"));
const QVariantMap B = { { QStringLiteral("Path"), QStringLiteral("/opt/Chat.app/") },
                        { QStringLiteral("Hide"), true },
                        { QStringLiteral("X-Extra"), QStringLiteral("kept") } };
const QVariantMap H1
    = item(QStringLiteral("/opt/Quillmont.app/Contents/Resources/Quillmont DI Raruru.app"));
const QVariantMap H2 = item(QStringLiteral("/tmp/QUILLMONT DI RARURU.APP/"));
const QVariantMap NoPath = { { QStringLiteral("Hide"), qint64(1) } };
const QVariantMap LookAlike = item(QStringLiteral("/opt/Other DI Raruru.app"));
const QString kHelper
    = QStringLiteral("/opt/Quillmont 8.app/Contents/Resources/Quillmont DI Raruru.app");

QVariantMap domainWith(const QVariantList &items)
{
    return { { QStringLiteral("AutoLaunchedApplicationDictionary"), items },
             { QStringLiteral("OtherLoginWindowSetting"), qint64(3) } };
}

TEST(LoginItems, Edit)
{
    const QVariantMap added = item(kHelper);
    const struct
    {
        const char *name;
        std::optional<QVariantMap> domain;
        bool activate;
        std::optional<QString> helper;
        QVariantList expected;
    } cases[] = {
        { "YES keeps the first helper item",
          domainWith({ A, H1, B, H2 }),
          true,
          kHelper,
          { A, H1, B } },
        { "YES adds one when there is none", domainWith({ A, B }), true, kHelper, { A, B, added } },
        { "YES without a helper path adds nothing", domainWith({ A }), true, std::nullopt, { A } },
        { "NO removes every helper item", domainWith({ H1, A, H2 }), false, kHelper, { A } },
        { "items without a path stay", domainWith({ NoPath, H1 }), false, kHelper, { NoPath } },
        { "look-alikes are not helper items",
          domainWith({ LookAlike }),
          false,
          kHelper,
          { LookAlike } },
        { "missing domain, YES", std::nullopt, true, kHelper, { added } },
        { "missing domain, NO", std::nullopt, false, kHelper, {} },
    };
    for (const auto &c : cases) {
        const QVariantMap edited
            = LoginItems::editedLoginWindowDomain(c.domain, c.activate, c.helper);
        EXPECT_EQ(edited.value(QStringLiteral("AutoLaunchedApplicationDictionary")).toList(),
                  c.expected)
            << c.name;
        if (c.domain) {
            EXPECT_EQ(edited.value(QStringLiteral("OtherLoginWindowSetting")), QVariant(qint64(3)))
                << c.name;
        }
    }
    // The added item holds exactly these two keys, Hide as an integer.
    const QVariantMap fresh = LoginItems::editedLoginWindowDomain(std::nullopt, true, kHelper)
                                  .value(QStringLiteral("AutoLaunchedApplicationDictionary"))
                                  .toList()
                                  .value(0)
                                  .toMap();
    EXPECT_EQ(fresh.keys(), (QStringList { QStringLiteral("Hide"), QStringLiteral("Path") }));
    EXPECT_EQ(fresh.value(QStringLiteral("Hide")).typeId(), QMetaType::LongLong);
}

TEST(LoginItems, RegisteredHelperEndsInDIRaruru)
{
    const struct
    {
        std::optional<QVariantMap> domain;
        std::optional<QString> path;
    } cases[] = {
        { domainWith({ A, LookAlike, H1 }), LookAlike.value(QStringLiteral("Path")).toString() },
        { domainWith({ A, H2 }), std::nullopt }, // "di raruru.app" in other letter case
        { domainWith({}), std::nullopt },
        { std::nullopt, std::nullopt },
    };
    for (const auto &c : cases)
        EXPECT_EQ(LoginItems::registeredHelperPath(c.domain), c.path);
}

TEST(LoginItems, VersionsReadAsOneNumber)
{
    const struct
    {
        QVariant version;
        float number;
    } cases[] = {
        { QStringLiteral("1.5"), 1.5f },
        { QStringLiteral("1.10"), 1.1f },
        { QStringLiteral("6.0.2"), 6.0f },
        { QStringLiteral("  2.0b3"), 2.0f },
        { QStringLiteral("+3"), 3.0f },
        { QStringLiteral("-1.5"), -1.5f },
        { QStringLiteral(".5"), 0.5f },
        { QStringLiteral("1e1"), 10.0f },
        { QStringLiteral("1e"), 1.0f },
        { QStringLiteral("1e-50"), 0.0f },
        { QStringLiteral("-7e-999x"), 0.0f },
        { QStringLiteral("2.5E-1x"), 0.25f },
        { QStringLiteral("v2"), 0.0f },
        { QStringLiteral("."), 0.0f },
        { QStringLiteral(""), 0.0f },
        { qint64(7), 7.0f },
        { 2.5, 2.5f },
        { true, 0.0f },
        { QVariant(), 0.0f },
    };
    for (const auto &c : cases)
        EXPECT_FLOAT_EQ(LoginItems::versionNumber(c.version), c.number)
            << c.version.toString().toStdString();
    EXPECT_TRUE(std::isinf(LoginItems::versionNumber(QStringLiteral("1e999"))));
    EXPECT_GT(LoginItems::versionNumber(QStringLiteral("1.9")),
              LoginItems::versionNumber(QStringLiteral("1.10")));
}

} // namespace
