// Autostart entries as login items: the mapping as a table, and a written
// entry started by GIO as a desktop session would start it.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "platform/autostart.h"

#include "platform/userdefaults.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(Autostart, EntriesAsLoginItems)
{
    const QByteArray app = "[Desktop Entry]\nType=Application\n";
    // An entry, the item's path (none: no item) and its Hide.
    const std::tuple<QByteArray, std::optional<QString>, qint64> cases[] = {
        { app + "Exec=/x/run\nX-Bundle-Path=/opt/A.app\nX-Bundle-Hide=1\n", u"/opt/A.app"_s, 1 },
        { app + "Exec=/usr/bin/postbell --tray\n", u"/usr/bin/postbell"_s, 0 },
        { app + "Exec=\"/opt/a \\\\$b.app/Contents/MacOS/run\"\n", u"/opt/a $b.app"_s, 0 },
        // The bundle's ".app" in any letter case.
        { app + "Exec=\"/opt/QUILLMONT DI RARURU.APP/Contents/MacOS/run\"\n",
          u"/opt/QUILLMONT DI RARURU.APP"_s, 0 },
        { "[Desktop Entry]\nType=Link\nURL=https://example.org\n", std::nullopt, 0 },
        { app + "Name=x\n", std::nullopt, 0 },
        { app + "Exec=\"/bin/true\n", std::nullopt, 0 },
        { QByteArray("\x00\xff[Desktop", 10), std::nullopt, 0 },
    };
    for (const auto &[entry, path, hide] : cases) {
        SCOPED_TRACE(entry.toStdString());
        const auto item = Autostart::loginItemFromEntry(entry);
        ASSERT_EQ(item.has_value(), path.has_value());
        if (item) {
            EXPECT_EQ(item->value(u"Path"_s).toString(), *path);
            EXPECT_EQ(item->value(u"Hide"_s).toLongLong(), hide);
        }
    }
}

TEST(Autostart, WrittenEntriesReadBackAsTheSameItem)
{
    // Blanks at either end, the value escapes, the Exec quoting; a leading
    // form feed has no escape, so the reader would drop it.
    for (const QString &path :
         { u" /opt/Leading Blank.app"_s, u"\t\n/opt/a\\b\nc\td \"%e\" $f `g`.app "_s,
           u"\f/opt/Form Feed.app"_s }) {
        SCOPED_TRACE(path.toStdString());
        const auto entry = Autostart::entryForLoginItem(path, path + u"/Contents/MacOS/run"_s, 3);
        ASSERT_EQ(entry.has_value(), !path.startsWith(u'\f'));
        if (!entry)
            continue;
        const auto item = Autostart::loginItemFromEntry(*entry);
        ASSERT_TRUE(item) << entry->constData();
        EXPECT_EQ(item->value(u"Path"_s).toString(), path);
        EXPECT_EQ(item->value(u"Hide"_s).toLongLong(), 3);
    }
}

TEST(Autostart, AWrittenEntryStartsTheBundleWhenGioLaunchesIt)
{
    test::TemporaryHome home;
    const QString log = home.path() + u"/requests.log"_s;
    qputenv("QUILLMONT_REQUEST_LOG", QFile::encodeName(log));
    // A name with every character the Exec quoting has to handle.
    const QString bundle
        = test::installHostApp({ u"--applications"_s, home.path() + u"/a \"b\" $c `d` \\e"_s,
                                 u"--name"_s, u"Quillmont DI Raruru.app"_s, u"--no-register"_s });
    ASSERT_FALSE(bundle.isEmpty());

    auto defaults = UserDefaults::create();
    QVariantMap domain = *defaults->persistentDomainForName(u"loginwindow"_s);
    domain[u"AutoLaunchedApplicationDictionary"_s]
        = QVariantList { QVariantMap { { u"Path"_s, bundle }, { u"Hide"_s, qint64(0) } } };
    ASSERT_TRUE(defaults->setPersistentDomain(domain, u"loginwindow"_s));

    const QString entry = home.configHome() + u"/autostart/quillmont-di-raruru.desktop"_s;
    GDesktopAppInfo *info
        = g_desktop_app_info_new_from_filename(QFile::encodeName(entry).constData());
    ASSERT_NE(info, nullptr) << test::readFile(entry).constData();
    EXPECT_TRUE(g_desktop_app_info_get_boolean(info, "X-GNOME-Autostart-enabled"));
    GError *error = nullptr;
    EXPECT_TRUE(g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error));
    g_clear_error(&error);
    g_object_unref(info);
    const auto requests = test::hostRequests(log, 1);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0][u"program"_s].toString(), bundle + u"/Contents/MacOS/Quillmont"_s);
}

} // namespace
