// Reading what a disc's autorun.inf says, and reading its files without ever
// leaving the volume: discs are whatever someone burnt. Finding autorun.inf
// in any letter case is the prompt's test.
#include "prompt/autoruninf.h"

#include "platform/filedescriptor.h"
#include "tests/testsupport.h"

#include <QFile>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <cstring>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace Qt::StringLiterals;

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
          "[AutoRun]\r\n  Label = My Disc \r\nICON=Icons\\Disc.ico,0\r\n", u"My Disc"_s,
          u"Icons/Disc.ico"_s },
        { "quotes and a negative icon index", "[autorun]\nlabel=\"Quoted\"\nicon=\"a b.exe\",-101",
          u"Quoted"_s, u"a b.exe"_s },
        { "other sections say nothing",
          "label=Before\n[autorun.amd64]\nlabel=x64\n[strings]\nicon=s.ico\n[autorun]\n;label=no\n",
          none, none },
        { "UTF-8 with a byte-order mark", "\xef\xbb\xbf[autorun]\nlabel=Caf\xc3\xa9\n",
          u"Caf\u00e9"_s, none },
        { "UTF-16, little end first",
          utf16(u"[autorun]\r\nlabel=Sp\u00e4t\r\n"_s, QStringConverter::Utf16LE), u"Sp\u00e4t"_s,
          none },
        { "UTF-16, big end first", utf16(u"[autorun]\nicon=x.ico\n"_s, QStringConverter::Utf16BE),
          none, u"x.ico"_s },
        { "binary", QByteArray("[autorun]\nlabel=x\n\0\x01\x02", 20), none, none },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const AutorunInf inf = AutorunInf::fromData(c.data);
        EXPECT_EQ(inf.label(), c.label);
        EXPECT_EQ(inf.iconPath(), c.icon);
    }
}

TEST(AutorunInf, FilesComeFromInsideTheVolumeOnly)
{
    QTemporaryDir dir;
    const QString volume = dir.path() + u"/volume"_s, outside = dir.path() + u"/outside"_s;
    test::writeFile(volume + u"/ICONS/DISC.ICO"_s, "inside");
    test::writeFile(outside + u"/secret.ico"_s, "outside");
    ASSERT_TRUE(QFile::link(outside + u"/secret.ico"_s, volume + u"/linked.ico"_s));
    ASSERT_TRUE(QFile::link(outside, volume + u"/linked"_s));
    const QByteArray top = QFile::encodeName(volume);
    ::mkfifo(top + "/pipe.ico", 0644);
    ::mkfifo(top + "/autorun.inf", 0644);
    (void)::mknod(top + "/null.ico", S_IFCHR | 0644, makedev(1, 3)); // where we may
    test::writeFile(volume + u"/full.ico"_s, QByteArray(1000, 'x'));
    test::writeFile(volume + u"/big.ico"_s, QByteArray(1001, 'x'));
    // Opening a device can act on it, and opening a FIFO wakes its writer.
    const FileDescriptor opens(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_GE(::inotify_add_watch(opens.get(), top.constData(), IN_OPEN), 0);

    const struct
    {
        QString path;
        std::optional<QByteArray> bytes;
    } cases[] = {
        // Letter case matched as on the disc's own file system.
        { u"./icons//disc.ico"_s, "inside" },
        { u"icons/../../outside/secret.ico"_s, std::nullopt },
        { outside + u"/secret.ico"_s, std::nullopt },
        { u"C:/outside/secret.ico"_s, std::nullopt },
        { u"linked.ico"_s, std::nullopt }, // links are not followed at all
        { u"linked/secret.ico"_s, std::nullopt },
        { u"pipe.ico"_s, std::nullopt }, // and a FIFO does not hold us
        { u"null.ico"_s, std::nullopt },
        { u"full.ico"_s, QByteArray(1000, 'x') },
        { u"big.ico"_s, std::nullopt }, // one byte past the limit
    };
    for (const auto &c : cases)
        EXPECT_EQ(AutorunInf::readVolumeFile(volume, c.path, 1000), c.bytes)
            << c.path.toStdString();
    EXPECT_FALSE(AutorunInf::readFromVolume(volume).label());

    char events[4096];
    const ssize_t size = ::read(opens.get(), events, sizeof events);
    QByteArrayList opened;
    for (ssize_t at = 0; at < size;) {
        const auto *event = reinterpret_cast<const inotify_event *>(events + at);
        opened.append(QByteArray(event->name, event->len ? qsizetype(::strlen(event->name)) : 0));
        at += qsizetype(sizeof(inotify_event) + event->len);
    }
    for (const char *special : { "pipe.ico", "null.ico", "autorun.inf" })
        EXPECT_FALSE(opened.contains(special)) << special << " was opened";
}

} // namespace
