// Judging installed copies: version texts, eligibility on real bundles, and
// the ranking by version and date.
#include "hostapps/candidatejudging.h"

#include "hostapps/qmfilemanager.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>

#include <climits>

using namespace Qt::StringLiterals;

namespace {

TEST(CandidateJudging, VersionPairs)
{
    using Pair = std::optional<std::pair<int, int>>;
    const std::pair<QVariant, Pair> cases[] = {
        { u"7.0."_s, std::pair(7, 0) },
        { u"7.2.0b1"_s, std::pair(7, 2) },
        { u" 7 .\n2 . x"_s, std::pair(7, 2) },
        { u"+7.-1.0"_s, std::pair(7, -1) },
        { u"99999999999.1."_s, std::pair(INT_MAX, 1) },
        { u"7.2"_s, std::nullopt },
        { u"v7.2.0"_s, std::nullopt },
        { u"- 7.2.0"_s, std::nullopt },
        { 7, std::nullopt }, // not a text
    };
    for (const auto &[text, expected] : cases) {
        const auto pair = versionPairFromText(text);
        EXPECT_EQ(pair ? Pair(std::pair(pair->major, pair->minor)) : std::nullopt, expected)
            << text.toString().toStdString();
    }
}

TEST(CandidateJudging, RankingByVersionThenStrictlyLaterDate)
{
    const FileTime early { 1700000000, 0 }, late { 1700000000 + 365 * 86400, 0 };
    const auto copy = [](int major, int minor, std::optional<FileTime> date) {
        return ApplicationCandidate { {}, true, { major, minor }, date };
    };
    const ApplicationCandidate ineligible { {}, false, { 99, 0 }, late };
    const struct
    {
        const char *name;
        std::vector<ApplicationCandidate> candidates;
        std::optional<std::size_t> best;
    } cases[] = {
        { "ineligible skipped", { ineligible, copy(1, 0, early) }, 1 },
        { "higher minor wins whatever the order", { copy(7, 2, early), copy(7, 1, late) }, 0 },
        { "higher major wins over a later date", { copy(7, 9, late), copy(8, 0, early) }, 1 },
        { "same pair: later date", { copy(7, 2, early), copy(7, 2, late) }, 1 },
        { "same pair and date: first listed", { copy(7, 2, late), copy(7, 2, late) }, 0 },
        { "same pair: a nanosecond later",
          { copy(7, 2, late), copy(7, 2, FileTime { late.seconds, 1 }) },
          1 },
        { "no date never wins on the date", { copy(7, 2, early), copy(7, 2, std::nullopt) }, 0 },
        { "a date beats a best without one", { copy(7, 2, std::nullopt), copy(7, 2, early) }, 1 },
        { "a newer version resets the date",
          { copy(7, 1, late), copy(7, 2, early), copy(7, 2, FileTime { early.seconds + 1, 0 }) },
          2 },
    };
    for (const auto &c : cases)
        EXPECT_EQ(bestCandidate(c.candidates), c.best) << c.name;
}

TEST(CandidateJudging, EligibilityOfRealBundles)
{
    QTemporaryDir dir;
    const QString id = u"com.tallowcraft.Quillmont"_s;
    // A good copy at 'name', but with 'key' set to 'value' (removed when invalid).
    const auto make = [&](const char *name, const QString &key = {}, const QVariant &value = {}) {
        QVariantMap info { { u"CFBundleIdentifier"_s, id },
                           { u"CFBundleExecutable"_s, u"Quillmont"_s },
                           { u"CFBundleVersion"_s, u"7.2.0"_s } };
        if (value.isValid())
            info[key] = value;
        else
            info.remove(key);
        const QString path = dir.path() + u'/' + QLatin1String(name);
        test::makeBundle(path, info);
        return path;
    };
    // A copy that cannot be run is the integration test's.
    const QString good = make("Good.app"), link = dir.path() + u"/Link.app"_s;
    QFile::link(good, link);

    const std::pair<QString, bool> cases[] = {
        { good, true },
        { make("LowerCaseId.app", u"CFBundleIdentifier"_s, id.toLower()), true },
        { link, true },
        { make("OtherId.app", u"CFBundleIdentifier"_s, u"org.other"_s), false },
        { make("NoExecutable.app", u"CFBundleExecutable"_s), false },
        { make("Zero.app", u"CFBundleVersion"_s, u"0.9.5"_s), false },
        { make("Negative.app", u"CFBundleVersion"_s, u"7.-1.0"_s), false },
        { dir.path() + u"/Missing.app"_s, false },
    };
    QMFileManager &fm = *QMFileManager::defaultManager();
    for (const auto &[path, eligible] : cases)
        EXPECT_EQ(readApplicationCandidate(fm, path, id).eligible, eligible) << path.toStdString();
}

} // namespace
