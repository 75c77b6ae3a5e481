// Parsing captured mountinfo lines, and telling new mounts from known ones.
#include "platform/mounttable.h"

#include "tests/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using namespace std::string_literals;

QList<QByteArray> mountPoints(const std::vector<MountEntry> &entries)
{
    QList<QByteArray> points;
    for (const MountEntry &entry : entries)
        points.append(entry.mountPoint);
    return points;
}

// What a monitor reports when the table goes from 'before' to 'after'; the
// ids of the known mounts that went, in increasing order, when asked.
QList<QByteArray> reported(std::string_view before, std::string_view after,
                           QList<quint64> *goneIds = nullptr)
{
    MountTableDiff diff;
    (void)diff.replace(parseMountInfo(before));
    std::vector<MountEntry> removed;
    std::vector<MountEntry> added = diff.replace(parseMountInfo(after), &removed);
    removeUnwatchedFileSystems(added);
    if (goneIds) {
        goneIds->clear();
        for (const MountEntry &entry : removed) {
            goneIds->append(entry.mountId);
            EXPECT_TRUE(entry.mountPoint.isEmpty()) << "only the key is kept";
        }
        std::sort(goneIds->begin(), goneIds->end());
    }
    return mountPoints(added);
}

TEST(MountTable, ParsesCapturedLines)
{
    const struct
    {
        std::string line;
        quint64 id;
        QByteArray mountPoint, type; // an empty type: the line is skipped
    } cases[] = {
        { "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard", 26, "/", "ext4" },
        { "36 35 98:0 /mnt1 /mnt2 rw,noatime shared:1 master:2 - ext3 /dev/root rw", 36, "/mnt2",
          "ext3" },
        { "90 26 0:50 / /media/My\\040Disc\\011\\012\\134x rw - iso9660 /dev/sr0 ro", 90,
          "/media/My Disc\t\n\\x", "iso9660" },
        { "91 26 0:51 / /media/caf\xc3\xa9\xff rw - vfat /dev/sdb1 rw", 91,
          "/media/caf\xc3\xa9\xff", "vfat" },
        { "65 45 0:39 / /tmp/cd rw,nosuid,nodev - fuse.fuseiso fuseiso rw,user_id=0", 65, "/tmp/cd",
          "fuse.fuseiso" },
        { "70 26 0:40 / /mnt/t rw - tmpfs  rw", 70, "/mnt/t", "tmpfs" }, // empty source
        // Malformed:
        { "", 0, {}, {} },
        { "26 1 254:0 / / rw,relatime", 0, {}, {} }, // no separator
        { "26 1 254:0 / / rw - ext4", 0, {}, {} }, // cut short
        { "x26 1 254:0 / / rw - ext4 /dev/vda rw", 0, {}, {} },
        { "18446744073709551616 1 0:1 / /x rw - tmpfs t rw", 0, {}, {} }, // overflow
        { "26 1 254 / / rw - ext4 /dev/vda rw", 0, {}, {} },
        { "26 1 254:0 / mnt rw - ext4 /dev/vda rw", 0, {}, {} },
        { "26 1 254:0 / /a\\000b rw - ext4 /dev/vda rw", 0, {}, {} }, // a NUL
        { "26 1 254:0 / /a\0b rw - ext4 /dev/vda rw"s, 0, {}, {} },
    };
    std::string text;
    QList<QByteArray> expected;
    for (const auto &c : cases) {
        const std::vector<MountEntry> entries = parseMountInfo(c.line);
        if (c.type.isEmpty()) {
            EXPECT_TRUE(entries.empty()) << c.line;
            continue;
        }
        ASSERT_EQ(entries.size(), 1u) << c.line;
        EXPECT_EQ(entries[0].mountId, c.id) << c.line;
        EXPECT_EQ(entries[0].mountPoint, c.mountPoint) << c.line;
        EXPECT_EQ(entries[0].fileSystemType, c.type) << c.line;
        expected.append(c.mountPoint);
    }
    // Together, the good lines come through in order and the bad are skipped.
    for (const auto &c : cases)
        text += c.line + '\n';
    EXPECT_EQ(mountPoints(parseMountInfo(text)), expected);
}

TEST(MountTable, ReportsOnlyNewMounts)
{
    const char *base = "40 26 0:50 / /media/cd ro - iso9660 /dev/sr0 ro\n";
    const struct
    {
        const char *name, *after;
        QList<QByteArray> reported;
        QList<quint64> gone;
    } cases[] = {
        { "unchanged", base, {}, {} },
        { "unmounted", "", {}, { 40 } },
        { "mounted again under a new id",
          "41 26 0:50 / /media/cd ro - iso9660 /dev/sr0 ro\n",
          { "/media/cd" },
          { 40 } },
        { "id reused for another path",
          "40 26 0:50 / /media/dvd ro - iso9660 /dev/sr0 ro\n",
          { "/media/dvd" },
          { 40 } },
        { "id and path reused, new device",
          "40 26 0:51 / /media/cd ro - iso9660 /dev/sr1 ro\n",
          { "/media/cd" },
          { 40 } },
        { "id and path reused, new root",
          "40 26 0:50 /sub /media/cd ro - iso9660 /dev/sr0 ro\n",
          { "/media/cd" },
          { 40 } },
        { "pseudo and network file systems left out, table order kept",
          "41 26 0:60 / /mnt/b rw - tmpfs tmpfs rw\n"
          "42 26 0:61 / /mnt/p rw - proc proc rw\n"
          "43 26 0:62 / /mnt/s rw - sysfs sysfs rw\n"
          "44 26 0:39 / /mnt/a rw - fuse.fuseiso fuseiso rw\n"
          "45 26 0:63 / /mnt/c rw - fusectl fusectl rw\n"
          "46 26 0:64 / /mnt/n rw - nfs4 server:/export rw\n"
          "47 26 0:65 / /mnt/w rw - cifs //server/share rw\n"
          "48 26 0:66 / /mnt/h rw - fuse.sshfs user@host: rw\n"
          "49 26 0:67 / /mnt/u rw - vfat /dev/sdb1 rw\n",
          { "/mnt/b", "/mnt/a", "/mnt/u" },
          { 40 } },
    };
    for (const auto &c : cases) {
        QList<quint64> gone;
        EXPECT_EQ(reported(base, c.after, &gone), c.reported) << c.name;
        EXPECT_EQ(gone, c.gone) << c.name;
    }
}

TEST(MountTable, LargeTable)
{
    const auto line = [](int id) {
        return std::to_string(id) + " 26 0:" + std::to_string(id) + " / /srv/volume\\040"
            + std::to_string(id) + " rw shared:1 - ext4 /dev/x rw\n";
    };
    std::string before, after;
    QList<QByteArray> added;
    for (int id = 100; id < 5100; ++id) {
        before += line(id);
        if (id % 1000 == 0) { // unmounted, and a new one in its place
            after += line(id + 10000);
            added.append("/srv/volume " + QByteArray::number(id + 10000));
        } else {
            after += line(id);
        }
    }
    after += line(9000);
    added.append("/srv/volume 9000");
    EXPECT_EQ(parseMountInfo(after).size(), 5001u);
    QList<quint64> gone;
    EXPECT_EQ(reported(before, after, &gone), added);
    EXPECT_EQ(gone, (QList<quint64> { 1000, 2000, 3000, 4000, 5000 }));
}

} // namespace
