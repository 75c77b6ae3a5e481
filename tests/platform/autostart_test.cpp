// Autostart entries as login items: the mapping as a table, and a written
// entry started by GIO as a desktop session would start it.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "platform/autostart.h"

#include "platform/userdefaults.h"
#include "tests/testsupport.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

TEST(Autostart, EntriesAsLoginItems)
{
    const struct
    {
        const char *name;
        QByteArray entry;
        std::optional<QString> path;
        qint64 hide;
    } cases[] = {
        { "bundle path given",
          "[Desktop "
          "Entry]\nType=Application\nExec=/x/run\nX-Bundle-Path=/opt/A.app\nX-Bundle-Hide=1\n",
          QStringLiteral("/opt/A.app"), 1 },
        { "program inside a bundle",
          "[Desktop Entry]\nType=Application\nExec=\"/opt/My App.app/Contents/MacOS/run\" --x\n",
          QStringLiteral("/opt/My App.app"), 0 },
        { "program outside",
          "[Desktop Entry]\nType=Application\nExec=/usr/bin/mail-notifier --tray\n",
          QStringLiteral("/usr/bin/mail-notifier"), 0 },
        { "escaped quoting",
          "[Desktop Entry]\nType=Application\nExec=\"/opt/a \\\\$b.app/Contents/MacOS/run\"\n",
          QStringLiteral("/opt/a $b.app"), 0 },
        { "not an application", "[Desktop Entry]\nType=Link\nURL=https://example.org\n",
          std::nullopt, 0 },
        { "no group", "Type=Application\nExec=/bin/true\n", std::nullopt, 0 },
        { "no program", "[Desktop Entry]\nType=Application\nName=x\n", std::nullopt, 0 },
        { "unbalanced quote", "[Desktop Entry]\nType=Application\nExec=\"/bin/true\n", std::nullopt,
          0 },
        { "binary garbage", QByteArray("\x00\xff[Desktop", 10), std::nullopt, 0 },
    };
    for (const auto &c : cases) {
        const auto item = Autostart::loginItemFromEntry(c.entry);
        ASSERT_EQ(item.has_value(), c.path.has_value()) << c.name;
        if (item) {
            EXPECT_EQ(item->value(QStringLiteral("Path")).toString(), *c.path) << c.name;
            EXPECT_EQ(item->value(QStringLiteral("Hide")).toLongLong(), c.hide) << c.name;
        }
    }
}

TEST(Autostart, WrittenEntriesReadBackAsTheSameItem)
{
    const struct
    {
        QString path;
        bool writable;
    } cases[] = {
        { QStringLiteral(" /opt/Leading Blank.app"), true },
        { QStringLiteral("/opt/Trailing Blank.app "), true },
        { QStringLiteral("\t\n/opt/a\\b\nc\td \"%e\" $f.app"), true },
        { QStringLiteral("\f/opt/Form Feed.app"), false }, // the reader would drop it
        { QStringLiteral("\v/opt/Vertical Tab.app"), false },
    };
    for (const auto &[path, writable] : cases) {
        const auto entry
            = Autostart::entryForLoginItem(path, path + QStringLiteral("/Contents/MacOS/run"), 3);
        ASSERT_EQ(entry.has_value(), writable) << path.toStdString();
        if (!entry)
            continue;
        const auto item = Autostart::loginItemFromEntry(*entry);
        ASSERT_TRUE(item) << entry->constData();
        EXPECT_EQ(item->value(QStringLiteral("Path")).toString(), path) << entry->constData();
        EXPECT_EQ(item->value(QStringLiteral("Hide")).toLongLong(), 3) << entry->constData();
    }
}

TEST(Autostart, AWrittenEntryStartsTheBundleWhenGioLaunchesIt)
{
    test::TemporaryHome home;
    const QString log = home.path() + QStringLiteral("/requests.log");
    qputenv("QUILLMONT_REQUEST_LOG", QFile::encodeName(log));
    // A name with every character the Exec quoting has to handle.
    const QString bundle = test::installHostApp(
        { QStringLiteral("--applications"), home.path() + QStringLiteral("/a \"b\" $c `d` \\e"),
          QStringLiteral("--name"), QStringLiteral("Quillmont DI Raruru.app"),
          QStringLiteral("--no-register") });
    ASSERT_FALSE(bundle.isEmpty());

    auto defaults = UserDefaults::create();
    QVariantMap domain = *defaults->persistentDomainForName(QStringLiteral("loginwindow"));
    EXPECT_TRUE(
        domain.value(QStringLiteral("AutoLaunchedApplicationDictionary")).toList().isEmpty());
    domain[QStringLiteral("AutoLaunchedApplicationDictionary")] = QVariantList { QVariantMap {
        { QStringLiteral("Path"), bundle }, { QStringLiteral("Hide"), qint64(0) } } };
    ASSERT_TRUE(defaults->setPersistentDomain(domain, QStringLiteral("loginwindow")));

    const QString entry
        = home.configHome() + QStringLiteral("/autostart/quillmont-di-raruru.desktop");
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
    EXPECT_EQ(requests[0][QStringLiteral("program")].toString(),
              bundle + QStringLiteral("/Contents/MacOS/Quillmont"));

    // Read back, it is the same login item, remembered by its file.
    const QVariantList items = defaults->persistentDomainForName(QStringLiteral("loginwindow"))
                                   ->value(QStringLiteral("AutoLaunchedApplicationDictionary"))
                                   .toList();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].toMap().value(QStringLiteral("Path")).toString(), bundle);
}

} // namespace
