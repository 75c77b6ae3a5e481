// The login item edit on a real autostart folder.
#include "prefs/loginitems.h"

#include "platform/userdefaults.h"
#include "tests/testsupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <map>

using namespace Qt::StringLiterals;

namespace {

TEST(LoginWindow, EditTouchesOnlyTheHelpersEntries)
{
    test::TemporaryHome home;
    const QString autostart = home.configHome() + u"/autostart/"_s;
    const auto entry = [](const char *program) {
        return "[Desktop Entry]\nType=Application\nName=x\nExec=\"" + QByteArray(program)
            + "\" --daemon\n";
    };
    // Each file's name and bytes; the second and fourth are helper items.
    const std::map<QString, QByteArray> files {
        { u"1-a.desktop"_s, entry("/usr/bin/postbell") },
        { u"2-h1.desktop"_s,
          entry("/opt/Quillmont.app/Contents/Resources/Quillmont DI Raruru.app/Contents/MacOS/x") },
        { u"3-b.desktop"_s,
          "# a comment kept as it is\n[Desktop Entry]\nType=Application\nExec=/usr/bin/quibb\n" },
        { u"4-h2.desktop"_s, entry("/tmp/elsewhere/Quillmont DI Raruru.app/Contents/MacOS/x") },
        { u"5-broken.desktop"_s, "not a desktop entry at all" },
        { u"notes.txt"_s, "x" },
    };
    for (const auto &[name, bytes] : files)
        test::writeFile(autostart + name, bytes);

    // YES keeps the first helper entry, NO removes it too; the rest stays byte for byte.
    for (const bool activate : { true, false }) {
        SCOPED_TRACE(activate ? "YES" : "NO");
        const QString domain = QString::fromUtf16(LoginItems::kLoginWindowDomain);
        auto defaults = UserDefaults::create();
        ASSERT_TRUE(defaults->setPersistentDomain(
            LoginItems::editedLoginWindowDomain(defaults->persistentDomainForName(domain), activate,
                                                u"/opt/Quillmont DI Raruru.app"_s),
            domain));
        QStringList expected;
        for (const auto &[name, bytes] : files) {
            if (name == u"4-h2.desktop"_s || (!activate && name == u"2-h1.desktop"_s))
                continue;
            expected += name;
            EXPECT_EQ(test::readFile(autostart + name), bytes) << name.toStdString();
        }
        EXPECT_EQ(QDir(autostart).entryList(QDir::Files, QDir::Name), expected);
    }
    EXPECT_FALSE(QFileInfo::exists(home.preferencesPath() + u"/loginwindow.plist"_s));
}

} // namespace
