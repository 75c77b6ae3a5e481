// Reading a volume's files without ever leaving the volume: a disc is
// whatever someone burnt.
#include "platform/volumefiles.h"

#include "platform/filedescriptor.h"
#include "tests/testsupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstring>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace Qt::StringLiterals;

namespace {

TEST(VolumeFiles, FilesComeFromInsideTheVolumeOnly)
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
        { u"autorun.inf"_s, std::nullopt },
    };
    for (const auto &c : cases)
        EXPECT_EQ(readVolumeFile(volume, c.path, 1000), c.bytes) << c.path.toStdString();

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
