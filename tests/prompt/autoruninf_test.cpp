// Reading what a disc's autorun.inf says, and reading its icon without ever
// leaving the volume: discs are whatever someone burnt.
#include "prompt/autoruninf.h"

#include "tests/testsupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace {

QByteArray utf16(const QString &text, bool bigEndian)
{
    QByteArray bytes = bigEndian ? QByteArray("\xfe\xff") : QByteArray("\xff\xfe");
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xff);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

TEST(AutorunInf, ReadsLabelAndIcon)
{
    const std::optional<QString> none;
    const struct
    {
        const char *name;
        QByteArray data;
        std::optional<QString> label, icon;
    } cases[] = {
        { "plain", "[autorun]\nlabel=Office 2003\nicon=setup.ico\n", QStringLiteral("Office 2003"),
          QStringLiteral("setup.ico") },
        { "Windows line ends, any letter case, blanks",
          "[AutoRun]\r\n  Label = My Disc \r\nICON=Icons\\Disc.ico,0\r\n",
          QStringLiteral("My Disc"), QStringLiteral("Icons/Disc.ico") },
        { "quotes and a negative icon index", "[autorun]\nlabel=\"Quoted\"\nicon=\"a b.exe\",-101",
          QStringLiteral("Quoted"), QStringLiteral("a b.exe") },
        { "the first of a key counts", "[autorun]\nlabel=One\nlabel=Two\n", QStringLiteral("One"),
          none },
        { "other sections say nothing",
          "label=Before\n[autorun.amd64]\nlabel=x64\n[strings]\nicon=s.ico\n[autorun]\n;label=no\n",
          none, none },
        { "empty values say nothing", "[autorun]\nlabel=\nicon=  ,0\n", none, none },
        { "markup is just text", "[autorun]\nlabel=<b>bold</b>\n", QStringLiteral("<b>bold</b>"),
          none },
        { "UTF-8 with a byte-order mark", "\xef\xbb\xbf[autorun]\nlabel=Caf\xc3\xa9\n",
          QStringLiteral("Caf\u00e9"), none },
        { "UTF-16, little end first",
          utf16(QStringLiteral("[autorun]\r\nlabel=Sp\u00e4t\r\n"), false),
          QStringLiteral("Sp\u00e4t"), none },
        { "UTF-16, big end first", utf16(QStringLiteral("[autorun]\nicon=x.ico\n"), true), none,
          QStringLiteral("x.ico") },
        { "binary", QByteArray("[autorun]\nlabel=x\n\0\x01\x02", 20), none, none },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const AutorunInf inf = AutorunInf::fromData(c.data);
        EXPECT_EQ(inf.label(), c.label);
        EXPECT_EQ(inf.iconPath(), c.icon);
    }
}

class VolumeFileTest : public testing::Test
{
protected:
    void SetUp() override
    {
        test::writeFile(volume + QStringLiteral("/ICONS/DISC.ICO"), "inside");
        test::writeFile(outside + QStringLiteral("/secret.ico"), "outside");
    }
    void link(const QString &target, const QString &name)
    {
        ASSERT_TRUE(QFile::link(target, volume + u'/' + name));
    }

    QTemporaryDir dir;
    QString volume = dir.path() + QStringLiteral("/volume");
    QString outside = dir.path() + QStringLiteral("/outside");
};

TEST_F(VolumeFileTest, TheIconComesFromInsideTheVolumeOnly)
{
    link(outside + QStringLiteral("/secret.ico"), QStringLiteral("linked.ico"));
    link(outside, QStringLiteral("linked"));
    link(QStringLiteral("ICONS/DISC.ICO"), QStringLiteral("inner-link.ico"));
    ::mkfifo(QFile::encodeName(volume + QStringLiteral("/pipe.ico")).constData(), 0644);
    test::writeFile(volume + QStringLiteral("/big.ico"), QByteArray(2000, 'x'));

    const struct
    {
        QString path;
        std::optional<QByteArray> bytes;
    } cases[] = {
        { QStringLiteral("ICONS/DISC.ICO"), "inside" },
        { QStringLiteral("icons/disc.ico"), "inside" }, // as written on the disc's own file system
        { QStringLiteral("./icons//disc.ico"), "inside" },
        { QStringLiteral("../outside/secret.ico"), std::nullopt },
        { QStringLiteral("icons/../../outside/secret.ico"), std::nullopt },
        { outside + QStringLiteral("/secret.ico"), std::nullopt },
        { QStringLiteral("C:/outside/secret.ico"), std::nullopt },
        { QStringLiteral("linked.ico"), std::nullopt },
        { QStringLiteral("linked/secret.ico"), std::nullopt },
        { QStringLiteral("inner-link.ico"), std::nullopt }, // links are not followed at all
        { QStringLiteral("pipe.ico"), std::nullopt }, // and a FIFO does not hold us
        { QStringLiteral("ICONS"), std::nullopt },
        { QStringLiteral("big.ico"), std::nullopt },
        { QStringLiteral("missing.ico"), std::nullopt },
    };
    for (const auto &c : cases)
        EXPECT_EQ(AutorunInf::readVolumeFile(volume, c.path, 1000), c.bytes)
            << c.path.toStdString();
}

TEST_F(VolumeFileTest, TheAutorunFileItself)
{
    const QByteArray text = "[autorun]\nlabel=Found\n";
    const struct
    {
        const char *name;
        std::function<void()> make;
        std::optional<QString> label;
    } cases[] = {
        { "any letter case",
          [&] { test::writeFile(volume + QStringLiteral("/AutoRun.Inf"), text); },
          QStringLiteral("Found") },
        { "at the size limit",
          [&] {
              test::writeFile(volume + QStringLiteral("/autorun.inf"),
                              text + QByteArray(AutorunInf::kMaxFileSize - text.size(), ' '));
          },
          QStringLiteral("Found") },
        { "past the size limit",
          [&] {
              test::writeFile(volume + QStringLiteral("/autorun.inf"),
                              text + QByteArray(AutorunInf::kMaxFileSize, ' '));
          },
          std::nullopt },
        { "a link out of the volume",
          [&] {
              test::writeFile(outside + QStringLiteral("/autorun.inf"), text);
              link(outside + QStringLiteral("/autorun.inf"), QStringLiteral("AUTORUN.INF"));
          },
          std::nullopt },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString &name : QDir(volume).entryList({ QStringLiteral("autorun.inf") })) {
            if (!QFile::remove(volume + u'/' + name))
                QDir(volume + u'/' + name).removeRecursively();
        }
        c.make();
        EXPECT_EQ(AutorunInf::readFromVolume(volume).label(), c.label);
    }
}

} // namespace
