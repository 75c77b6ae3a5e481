// Preferences under a comma-decimal locale, as a German desktop session has
// it: a Qt application takes the user's locale for all of C, strtod() included.
#include "platform/propertylist.h"
#include "platform/userdefaults.h"

#include "tests/testsupport.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace {

TEST(NumberLocale, AnUpdateKeepsRealsUnderACommaDecimalLocale)
{
    QTemporaryDir locales;
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
                    { QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                      QStringLiteral("UTF-8"), locales.path() + QStringLiteral("/de_DE.UTF-8") });
    if (!localedef.waitForFinished(60000) || localedef.exitCode() != 0)
        GTEST_SKIP() << "cannot build a de_DE locale: install the locales package";
    const test::ScopedEnvironment localePath { { "LOCPATH",
                                                 QFile::encodeName(locales.path()).constData() } };
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8"));
    const auto restore = qScopeGuard([&] { std::setlocale(LC_ALL, previous.c_str()); });
    ASSERT_EQ(std::strtod("2,5", nullptr), 2.5) << "this locale reads a decimal comma";

    // A domain the host wrote; the helper changes one key of it.
    test::TemporaryHome home;
    const QString name = QStringLiteral("com.example.reals");
    test::writeFile(home.domainPath(name),
                    "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                    "<key>a</key><real>2.25</real><key>b</key><real>-1.5e-07</real>"
                    "</dict></plist>");
    ASSERT_TRUE(
        UserDefaults::create()->updatePersistentDomain(name, [](std::optional<QVariantMap> domain) {
            domain->insert(QStringLiteral("AutoLaunch"), 1);
            return domain;
        }));
    const auto stored = PropertyList::readFile(home.domainPath(name));
    ASSERT_TRUE(stored);
    const QVariantMap domain = stored->toMap();
    EXPECT_EQ(domain.value(QStringLiteral("a")).toDouble(), 2.25);
    EXPECT_EQ(domain.value(QStringLiteral("b")).toDouble(), -1.5e-07);
    EXPECT_FALSE(test::readFile(home.domainPath(name)).contains(','));
}

} // namespace
