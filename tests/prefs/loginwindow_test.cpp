// The login item edit on a real autostart folder.
#include "prefs/loginitems.h"

#include "platform/userdefaults.h"
#include "tests/testsupport.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

QByteArray entry(const QString &program)
{
    return "[Desktop Entry]\nType=Application\nName=x\nExec=\"" + program.toUtf8()
        + "\" --daemon\n";
}

TEST(LoginWindow, EditTouchesOnlyTheHelpersEntries)
{
    test::TemporaryHome home;
    const QString autostart = home.configHome() + QStringLiteral("/autostart/");
    const QByteArray a = entry(QStringLiteral("/usr/bin/mail-notifier"));
    const QByteArray h1 = entry(QStringLiteral(
        "/opt/Quillmont.app/Contents/Resources/Quillmont DI Raruru.app/Contents/MacOS/helper"));
    const QByteArray b = "# a comment kept as it is\n[Desktop "
                         "Entry]\nType=Application\nExec=/usr/bin/chat\nX-Bundle-Hide=1\n";
    const QByteArray h2
        = entry(QStringLiteral("/tmp/elsewhere/Quillmont DI Raruru.app/Contents/MacOS/helper"));
    const QByteArray broken = "not a desktop entry at all";
    test::writeFile(autostart + QStringLiteral("1-a.desktop"), a);
    test::writeFile(autostart + QStringLiteral("2-h1.desktop"), h1);
    test::writeFile(autostart + QStringLiteral("3-b.desktop"), b);
    test::writeFile(autostart + QStringLiteral("4-h2.desktop"), h2);
    test::writeFile(autostart + QStringLiteral("5-broken.desktop"), broken);
    test::writeFile(autostart + QStringLiteral("notes.txt"), "x");

    const auto edit = [](bool activate) {
        auto defaults = UserDefaults::create();
        const auto domain
            = defaults->persistentDomainForName(QString::fromUtf16(LoginItems::kLoginWindowDomain));
        EXPECT_TRUE(defaults->setPersistentDomain(
            LoginItems::editedLoginWindowDomain(domain, activate,
                                                QStringLiteral("/opt/Quillmont DI Raruru.app")),
            QString::fromUtf16(LoginItems::kLoginWindowDomain)));
    };
    edit(true);
    QStringList files = QDir(autostart).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files,
              (QStringList { QStringLiteral("1-a.desktop"), QStringLiteral("2-h1.desktop"),
                             QStringLiteral("3-b.desktop"), QStringLiteral("5-broken.desktop"),
                             QStringLiteral("notes.txt") }));
    EXPECT_EQ(test::readFile(autostart + QStringLiteral("1-a.desktop")), a);
    EXPECT_EQ(test::readFile(autostart + QStringLiteral("2-h1.desktop")), h1);
    EXPECT_EQ(test::readFile(autostart + QStringLiteral("3-b.desktop")), b);
    EXPECT_EQ(test::readFile(autostart + QStringLiteral("5-broken.desktop")), broken);

    edit(false);
    files = QDir(autostart).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files,
              (QStringList { QStringLiteral("1-a.desktop"), QStringLiteral("3-b.desktop"),
                             QStringLiteral("5-broken.desktop"), QStringLiteral("notes.txt") }));
    EXPECT_FALSE(QFileInfo::exists(home.preferencesPath() + QStringLiteral("/loginwindow.plist")));
}

TEST(LoginWindow, AMissingAutostartFolderIsMadeForTheNewItem)
{
    test::TemporaryHome home;
    QDir(home.configHome()).removeRecursively();
    const QString helper = test::installHostApp(
        { QStringLiteral("--applications"), home.path() + QStringLiteral("/Apps"),
          QStringLiteral("--name"), QStringLiteral("Quillmont DI Raruru.app"),
          QStringLiteral("--no-register") });
    auto defaults = UserDefaults::create();
    ASSERT_TRUE(defaults->setPersistentDomain(
        LoginItems::editedLoginWindowDomain(std::nullopt, true, helper),
        QString::fromUtf16(LoginItems::kLoginWindowDomain)));
    const auto domain
        = defaults->persistentDomainForName(QString::fromUtf16(LoginItems::kLoginWindowDomain));
    EXPECT_EQ(LoginItems::registeredHelperPath(domain), helper);
}

} // namespace
