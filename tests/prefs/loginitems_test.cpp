// The login item edit and the version reading, as tables.
#include "prefs/loginitems.h"

#include "tests/testsupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

QVariantMap item(const QString &path)
{
    return { { u"Path"_s, path }, { u"Hide"_s, qint64(0) } };
}

const QVariantMap A = item(u"/usr/lib/Postbell.app"_s);
const QVariantMap B
    = { { u"Path"_s, u"/opt/Chat.app/"_s }, { u"Hide"_s, true }, { u"X-Extra"_s, u"kept"_s } };
const QVariantMap H1 = item(u"/opt/Quillmont.app/Contents/Resources/Quillmont DI Raruru.app"_s);
const QVariantMap H2 = item(u"/tmp/QUILLMONT DI RARURU.APP/"_s);
const QVariantMap NoPath = { { u"Hide"_s, qint64(1) } };
const QVariantMap LookAlike = item(u"/opt/Other DI Raruru.app"_s);
const QString kHelper = u"/opt/Quillmont 8.app/Contents/Resources/Quillmont DI Raruru.app"_s;

QVariantMap domainWith(const QVariantList &items)
{
    return { { u"AutoLaunchedApplicationDictionary"_s, items },
             { u"OtherLoginWindowSetting"_s, qint64(3) } };
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
        { "YES adds one", domainWith({ A, B }), true, kHelper, { A, B, added } },
        { "YES without a helper", domainWith({ A }), true, std::nullopt, { A } },
        // Items without a path and look-alikes are no helper items.
        { "NO", domainWith({ NoPath, H1, LookAlike, H2 }), false, kHelper, { NoPath, LookAlike } },
        { "missing domain", std::nullopt, true, kHelper, { added } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QVariantMap edited
            = LoginItems::editedLoginWindowDomain(c.domain, c.activate, c.helper);
        const QVariantList items = edited.value(u"AutoLaunchedApplicationDictionary"_s).toList();
        EXPECT_EQ(items, c.expected);
        EXPECT_EQ(edited.value(u"OtherLoginWindowSetting"_s), c.domain ? qint64(3) : QVariant());
        // Equality compares across types; an added item's Hide is an integer.
        for (qsizetype i = 0; i < std::min(items.size(), c.expected.size()); ++i) {
            EXPECT_EQ(items[i].toMap().value(u"Hide"_s).typeId(),
                      c.expected[i].toMap().value(u"Hide"_s).typeId());
        }
    }
}

TEST(LoginItems, VersionsReadAsOneNumber)
{
    const std::pair<QVariant, float> cases[] = {
        { u"1.10"_s, 1.1f },      { u"6.0.2"_s, 6.0f },    { u"  2.0b3"_s, 2.0f },
        { u"+3"_s, 3.0f },        { u".5"_s, 0.5f },       { u"1e"_s, 1.0f },
        { u"-7e-999x"_s, 0.0f },  { u"2.5E-1x"_s, 0.25f }, { u"v2"_s, 0.0f },
        { u"."_s, 0.0f },         { qint64(7), 7.0f },     { true, 0.0f },
        { u"\u3000\n2"_s, 2.0f },
    };
    for (const auto &[version, number] : cases)
        EXPECT_FLOAT_EQ(LoginItems::versionNumber(version), number)
            << version.toString().toStdString();
    EXPECT_TRUE(std::isinf(LoginItems::versionNumber(u"1e999"_s)));
    EXPECT_GT(LoginItems::versionNumber(u"1.9"_s), LoginItems::versionNumber(u"1.10"_s));
}

} // namespace
