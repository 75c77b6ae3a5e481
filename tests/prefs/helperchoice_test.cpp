// The helper's verdict on a disc, from real preferences domains to the
// decision; the road to the host is the delegate's and the end-to-end tests'.
#include "prefs/helperchoice.h"

#include "platform/propertylist.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kMain = u"com.tallowcraft.Quillmont"_s;
const QString kGames = u"com.tallowcraft.QuillmontGames"_s;
const QString kMainScheme = u"com.tallowcraft.private-Quillmont-app-scheme"_s;
const QString kGamesScheme = u"com.tallowcraft.private-QuillmontGames-app-scheme"_s;

TEST(HelperChoice, StoredChoiceAndDiscDecide)
{
    using Action = Verdict::Action;
    const auto launch = [](QVariant value, QVariantMap more = {}) {
        if (value.isValid())
            more.insert(u"AutoLaunch"_s, std::move(value));
        return more;
    };
    const QString appId = u"AutoLaunchAppID"_s, scheme = u"AutoLaunchAppIdentifyingURLScheme"_s;
    const QVariantMap games { { appId, kGames }, { scheme, kGamesScheme } };
    const LaunchTarget mainTarget { kMain, kMainScheme }, gamesTarget { kGames, kGamesScheme };
    const DiscIdentifier office = u"_msoffice2003_"_s;
    const struct
    {
        const char *name;
        QVariantMap domain;
        DiscIdentifier disc;
        Action action;
        LaunchTarget target = {};
    } cases[] = {
        { "1, OTHER: asked", launch(1), u"OTHER"_s, Action::Prompt, mainTarget },
        { "1, unreadable identifier: asked", launch(1), DiscIdentifier(), Action::Prompt,
          mainTarget },
        { "1, empty identifier: opened", launch(1), u""_s, Action::Launch, mainTarget },
        { "2, other", launch(2), u"other"_s, Action::Ignore },
        { "absent: asked", launch({}), office, Action::Prompt, mainTarget },
        { "0: asked", launch(0), office, Action::Prompt, mainTarget },
        { "3: asked", launch(3), office, Action::Prompt, mainTarget },
        { "text with leading 1", launch(u" 1 disc"_s), office, Action::Launch, mainTarget },
        { "text 2x", launch(u"2x"_s), office, Action::Ignore },
        { "real 1.9 is 1", launch(1.9), office, Action::Launch, mainTarget },
        { "true is 1", launch(true), office, Action::Launch, mainTarget },
        { "a date is 0", launch(QVariant::fromValue(PropertyList::Date { 736257600.5 })), office,
          Action::Prompt, mainTarget },
        { "stored target", launch(1, games), office, Action::Launch, gamesTarget },
        { "stored target without scheme",
          launch(1, { { appId, kGames } }),
          office,
          Action::Launch,
          { kGames, std::nullopt } },
        { "empty AutoLaunchAppID: the record's target, stored scheme or not",
          launch(1, { { appId, u""_s }, { scheme, kGamesScheme } }), office, Action::Launch,
          mainTarget },
        { "AutoLaunchAppID not text", launch(0, { { appId, 5 } }), office, Action::Prompt,
          mainTarget },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const StoredChoice choice = storedChoiceFromDomain({ kMain, kMainScheme }, c.domain);
        const Verdict verdict = decide(choice, c.disc);
        EXPECT_EQ(std::tie(verdict.action, verdict.target), std::tie(c.action, c.target));
    }
}

TEST(HelperChoice, TheFirstHostApplicationWithADomainCounts)
{
    const QVariantMap one { { u"AutoLaunch"_s, 1 } }, two { { u"AutoLaunch"_s, 2 } };
    const QByteArray corrupt = "<?xml version=\"1.0\"?><plist><dict><key>AutoLaunch</key>";
    const struct
    {
        const char *name;
        std::optional<QVariant> main, games; // a QByteArray is written as it is
        std::optional<QString> chosen; // the record whose domain counts
        qint64 autoLaunch = 0;
    } cases[] = {
        { "both: the main edition's only", one, two, kMain, 1 },
        { "the games edition's only", std::nullopt, two, kGames, 2 },
        { "a corrupt domain counts as none", corrupt, two, kGames, 2 },
        { "not a dictionary counts as none", QVariantList { 1 }, std::nullopt, std::nullopt },
        { "none", std::nullopt, std::nullopt, std::nullopt },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        test::TemporaryHome home;
        for (const auto &[domain, content] : { std::pair { kMain, c.main }, { kGames, c.games } }) {
            if (content && content->typeId() == QMetaType::QByteArray)
                test::writeFile(home.domainPath(domain), content->toByteArray());
            else if (content)
                test::writePropertyList(home.domainPath(domain), *content);
        }
        const auto defaults = UserDefaults::create();
        const auto choice = readStoredChoice(*defaults);
        ASSERT_EQ(choice.has_value(), c.chosen.has_value());
        if (choice) {
            EXPECT_EQ(std::tie(choice->record.bundleID, choice->autoLaunch),
                      std::tie(*c.chosen, c.autoLaunch));
        }
    }
}

} // namespace
