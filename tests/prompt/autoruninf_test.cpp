// Reading what a disc's autorun.inf says, and reading its icon without ever
// leaving the volume: discs are whatever someone burnt.
#include "prompt/autoruninf.h"

#include "tests/testsupport.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// UTF-16 with its byte-order mark.
QByteArray utf16(const QString &text, QStringConverter::Encoding encoding)
{
    return QStringEncoder(encoding, QStringConverter::Flag::WriteBom).encode(text);
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
        { "Windows line ends, any letter case, blanks",
          "[AutoRun]\r\n  Label = My Disc \r\nICON=Icons\\Disc.ico,0\r\n",
          QStringLiteral("My Disc"), QStringLiteral("Icons/Disc.ico") },
        { "quotes and a negative icon index", "[autorun]\nlabel=\"Quoted\"\nicon=\"a b.exe\",-101",
          QStringLiteral("Quoted"), QStringLiteral("a b.exe") },
        { "other sections say nothing",
          "label=Before\n[autorun.amd64]\nlabel=x64\n[strings]\nicon=s.ico\n[autorun]\n;label=no\n",
          none, none },
        { "UTF-8 with a byte-order mark", "\xef\xbb\xbf[autorun]\nlabel=Caf\xc3\xa9\n",
          QStringLiteral("Caf\u00e9"), none },
        { "UTF-16, little end first",
          utf16(QStringLiteral("[autorun]\r\nlabel=Sp\u00e4t\r\n"), QStringConverter::Utf16LE),
          QStringLiteral("Sp\u00e4t"), none },
        { "UTF-16, big end first",
          utf16(QStringLiteral("[autorun]\nicon=x.ico\n"), QStringConverter::Utf16BE), none,
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
    test::writeFile(volume + QStringLiteral("/ICONS/DISC.ICO"), "inside");
    test::writeFile(outside + QStringLiteral("/secret.ico"), "outside");
    link(outside + QStringLiteral("/secret.ico"), QStringLiteral("linked.ico"));
    link(outside, QStringLiteral("linked"));
    ::mkfifo(QFile::encodeName(volume + QStringLiteral("/pipe.ico")).constData(), 0644);
    test::writeFile(volume + QStringLiteral("/big.ico"), QByteArray(2000, 'x'));

    const struct
    {
        QString path;
        std::optional<QByteArray> bytes;
    } cases[] = {
        // Letter case matched as on the disc's own file system.
        { QStringLiteral("./icons//disc.ico"), "inside" },
        { QStringLiteral("icons/../../outside/secret.ico"), std::nullopt },
        { outside + QStringLiteral("/secret.ico"), std::nullopt },
        { QStringLiteral("C:/outside/secret.ico"), std::nullopt },
        { QStringLiteral("linked.ico"), std::nullopt }, // links are not followed at all
        { QStringLiteral("linked/secret.ico"), std::nullopt },
        { QStringLiteral("pipe.ico"), std::nullopt }, // and a FIFO does not hold us
        { QStringLiteral("big.ico"), std::nullopt },
    };
    for (const auto &c : cases)
        EXPECT_EQ(AutorunInf::readVolumeFile(volume, c.path, 1000), c.bytes)
            << c.path.toStdString();
}

TEST_F(VolumeFileTest, TheAutorunFileItself)
{
    const QByteArray text = "[autorun]\nlabel=Found\n";
    test::writeFile(outside + QStringLiteral("/autorun.inf"), text);
    const qsizetype limit = AutorunInf::kMaxFileSize;
    const struct
    {
        const char *name;
        QByteArray contents; // empty: a link out of the volume
        std::optional<QString> label;
    } cases[] = {
        { "AutoRun.Inf", text, QStringLiteral("Found") },
        { "autorun.inf", text + QByteArray(limit - text.size(), ' '), QStringLiteral("Found") },
        { "autorun.inf", text + QByteArray(limit, ' '), std::nullopt }, // past the limit
        { "AUTORUN.INF", {}, std::nullopt },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << ", " << c.contents.size() << " bytes");
        QDir(volume).removeRecursively();
        QDir().mkpath(volume);
        if (c.contents.isEmpty())
            link(outside + QStringLiteral("/autorun.inf"), QLatin1String(c.name));
        else
            test::writeFile(volume + u'/' + QLatin1String(c.name), c.contents);
        EXPECT_EQ(AutorunInf::readFromVolume(volume).label(), c.label);
    }
}

} // namespace
