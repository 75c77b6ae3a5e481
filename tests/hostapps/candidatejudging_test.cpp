// Judging installed copies: version texts, eligibility on real bundles, and
// the ranking by version and date.
#include "hostapps/candidatejudging.h"

#include "hostapps/qmfilemanager.h"
#include "tests/testsupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <climits>
#include <sys/stat.h>

namespace {

TEST(CandidateJudging, VersionPairs)
{
    const struct
    {
        QVariant text;
        std::optional<std::pair<int, int>> pair;
    } cases[] = {
        { QStringLiteral("7.0.1"), std::pair(7, 0) },
        { QStringLiteral("7.0.1b2"), std::pair(7, 0) },
        { QStringLiteral("7.0.0.0"), std::pair(7, 0) },
        { QStringLiteral("7.0."), std::pair(7, 0) },
        { QStringLiteral("7.2.0b1"), std::pair(7, 2) },
        { QStringLiteral(" 7 .\n2 . x"), std::pair(7, 2) },
        { QStringLiteral("+7.-1.0"), std::pair(7, -1) },
        { QStringLiteral("99999999999.1."), std::pair(INT_MAX, 1) },
        { QStringLiteral("7.2"), std::nullopt },
        { QStringLiteral("7"), std::nullopt },
        { QStringLiteral(""), std::nullopt },
        { QStringLiteral("v7.2.0"), std::nullopt },
        { QStringLiteral("7..2."), std::nullopt },
        { QStringLiteral("- 7.2.0"), std::nullopt },
        { 7, std::nullopt },
        { QVariant(), std::nullopt },
    };
    for (const auto &c : cases) {
        const auto pair = versionPairFromText(c.text);
        ASSERT_EQ(pair.has_value(), c.pair.has_value()) << c.text.toString().toStdString();
        if (pair) {
            EXPECT_EQ(pair->major, c.pair->first) << c.text.toString().toStdString();
            EXPECT_EQ(pair->minor, c.pair->second) << c.text.toString().toStdString();
        }
    }
}

TEST(CandidateJudging, RankingByVersionThenStrictlyLaterDate)
{
    const QDateTime lastYear = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    const QDateTime today = lastYear.addDays(365);
    const auto eligible = [](int major, int minor, std::optional<QDateTime> date) {
        return ApplicationCandidate { {}, true, { major, minor }, date };
    };
    const ApplicationCandidate ineligible { {}, false, { 99, 0 }, today };
    const struct
    {
        const char *name;
        std::vector<ApplicationCandidate> candidates;
        std::optional<std::size_t> best;
    } cases[] = {
        { "none", {}, std::nullopt },
        { "only ineligible", { ineligible }, std::nullopt },
        { "higher minor wins whatever the order",
          { eligible(7, 2, lastYear), eligible(7, 1, today) },
          0 },
        { "higher major wins over a later date",
          { eligible(7, 9, today), eligible(8, 0, lastYear) },
          1 },
        { "same pair: later date", { eligible(7, 2, lastYear), eligible(7, 2, today) }, 1 },
        { "same pair and date: first listed", { eligible(7, 2, today), eligible(7, 2, today) }, 0 },
        { "no date never wins on the date",
          { eligible(7, 2, lastYear), eligible(7, 2, std::nullopt) },
          0 },
        { "a date beats a best without one",
          { eligible(7, 2, std::nullopt), eligible(7, 2, lastYear) },
          1 },
        { "ineligible skipped", { ineligible, eligible(1, 0, lastYear) }, 1 },
        { "a newer version resets the date",
          { eligible(7, 1, today), eligible(7, 2, lastYear), eligible(7, 2, lastYear.addSecs(1)) },
          2 },
    };
    for (const auto &c : cases)
        EXPECT_EQ(bestCandidate(c.candidates), c.best) << c.name;
}

TEST(CandidateJudging, EligibilityOfRealBundles)
{
    QTemporaryDir dir;
    const QString id = QStringLiteral("com.tallowcraft.Quillmont");
    const auto make = [&](const char *name, const QVariantMap &changes) {
        QVariantMap info { { QStringLiteral("CFBundleIdentifier"), id },
                           { QStringLiteral("CFBundleExecutable"), QStringLiteral("Quillmont") },
                           { QStringLiteral("CFBundleVersion"), QStringLiteral("7.2.0") } };
        for (auto it = changes.begin(); it != changes.end(); ++it) {
            if (it.value().isValid())
                info[it.key()] = it.value();
            else
                info.remove(it.key());
        }
        const QString path = dir.path() + u'/' + QLatin1String(name);
        test::makeBundle(path, info);
        return path;
    };
    const QString good = make("Good.app", {});
    const QString notRunnable = make("NotRunnable.app", {});
    ::chmod(
        QFile::encodeName(notRunnable + QStringLiteral("/Contents/MacOS/Quillmont")).constData(),
        0644);
    const QString link = dir.path() + QStringLiteral("/Link.app");
    QFile::link(good, link);

    const struct
    {
        QString path;
        bool eligible;
    } cases[] = {
        { good, true },
        { make("LowerCaseId.app", { { QStringLiteral("CFBundleIdentifier"), id.toLower() } }),
          true },
        { link, true },
        { make("OtherId.app",
               { { QStringLiteral("CFBundleIdentifier"), QStringLiteral("org.other") } }),
          false },
        { make("NoId.app", { { QStringLiteral("CFBundleIdentifier"), QVariant() } }), false },
        { make("NoExecutable.app", { { QStringLiteral("CFBundleExecutable"), QVariant() } }),
          false },
        { notRunnable, false },
        { make("OnePoint.app", { { QStringLiteral("CFBundleVersion"), QStringLiteral("7.2") } }),
          false },
        { make("Zero.app", { { QStringLiteral("CFBundleVersion"), QStringLiteral("0.9.5") } }),
          false },
        { make("Negative.app", { { QStringLiteral("CFBundleVersion"), QStringLiteral("7.-1.0") } }),
          false },
        { make("Beta.app", { { QStringLiteral("CFBundleVersion"), QStringLiteral("7.2.0b1") } }),
          true },
        { dir.path() + QStringLiteral("/Missing.app"), false },
    };
    QMFileManager &fm = *QMFileManager::defaultManager();
    for (const auto &c : cases) {
        const ApplicationCandidate candidate = readApplicationCandidate(fm, c.path, id);
        EXPECT_EQ(candidate.eligible, c.eligible) << c.path.toStdString();
        EXPECT_EQ(candidate.modificationDate.has_value(), c.eligible)
            << "the date is read for eligible copies only";
    }
}

} // namespace
