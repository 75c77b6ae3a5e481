// Parsing captured mountinfo lines, and telling new mounts from known ones.
#include "platform/mounttable.h"

#include "tests/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// One field of each entry, in order.
template<typename T> QList<T> each(const std::vector<MountEntry> &entries, T MountEntry::*field)
{
    QList<T> values;
    for (const MountEntry &entry : entries)
        values.append(entry.*field);
    return values;
}

// What a monitor reports when the table goes from 'before' to 'after', and
// the ids of the known mounts that went, in increasing order.
QList<QByteArray> reported(std::string_view before, std::string_view after, QList<quint64> &gone)
{
    MountTableDiff diff;
    (void)diff.replace(parseMountInfo(before));
    std::vector<MountEntry> removed;
    std::vector<MountEntry> added = diff.replace(parseMountInfo(after), &removed);
    removeUnwatchedFileSystems(added);
    gone = each(removed, &MountEntry::mountId);
    std::sort(gone.begin(), gone.end());
    return each(added, &MountEntry::mountPoint);
}

TEST(MountTable, ParsesCapturedLines)
{
    // Line, id, mount point, type; an empty type: the line is skipped.
    const std::tuple<std::string, quint64, QByteArray, QByteArray> cases[] = {
        { "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard", 26, "/", "ext4" },
        { "36 35 98:0 /mnt1 /mnt2 rw,noatime shared:1 master:2 - ext3 /dev/root rw", 36, "/mnt2",
          "ext3" },
        { "90 26 0:50 / /media/My\\040Disc\\011\\012\\134x\xff rw - iso9660 /dev/sr0 ro", 90,
          "/media/My Disc\t\n\\x\xff", "iso9660" },
        { "65 45 0:39 / /tmp/cd rw,nosuid,nodev - fuse.fuseiso fuseiso rw,user_id=0", 65, "/tmp/cd",
          "fuse.fuseiso" },
        { "70 26 0:40 / /mnt/t rw - tmpfs  rw", 70, "/mnt/t", "tmpfs" }, // empty source
        // Malformed:
        { "26 1 254:0 / / rw,relatime", 0, {}, {} }, // no separator
        { "26 1 254:0 / / rw - ext4", 0, {}, {} }, // cut short
        { "18446744073709551616 1 0:1 / /x rw - tmpfs t rw", 0, {}, {} }, // overflow
        { "26 1 254:0 / mnt rw - ext4 /dev/vda rw", 0, {}, {} },
        { "26 1 254:0 / /a\\000b rw - ext4 /dev/vda rw", 0, {}, {} }, // a NUL
    };
    std::string text;
    QList<QByteArray> expected;
    for (const auto &[line, id, mountPoint, type] : cases) {
        SCOPED_TRACE(line);
        text += line + '\n';
        const std::vector<MountEntry> entries = parseMountInfo(line);
        ASSERT_EQ(entries.size(), type.isEmpty() ? 0u : 1u);
        if (type.isEmpty())
            continue;
        EXPECT_EQ(std::tie(entries[0].mountId, entries[0].mountPoint, entries[0].fileSystemType),
                  std::tie(id, mountPoint, type));
        expected.append(mountPoint);
    }
    // Together, the good lines come through in order and the bad are skipped.
    EXPECT_EQ(each(parseMountInfo(text), &MountEntry::mountPoint), expected);
}

TEST(MountTable, ReportsOnlyNewMounts)
{
    const char *base = "40 26 0:50 / /media/cd ro - iso9660 /dev/sr0 ro\n";
    // What follows 'base', the mounts reported and the ids gone.
    const std::tuple<const char *, QList<QByteArray>, QList<quint64>> cases[] = {
        { base, {}, {} },
        { "", {}, { 40 } },
        // The same path again: under a new id, or on a new device under the same id.
        { "41 26 0:50 / /media/cd ro - iso9660 /dev/sr0 ro\n", { "/media/cd" }, { 40 } },
        { "40 26 0:51 / /media/cd ro - iso9660 /dev/sr1 ro\n", { "/media/cd" }, { 40 } },
        { "40 26 0:50 / /media/d ro - iso9660 /dev/sr0 ro\n", { "/media/d" }, { 40 } },
        // Pseudo and network file systems are left out.
        { "41 26 0:60 / /mnt/b rw - tmpfs tmpfs rw\n"
          "42 26 0:61 / /mnt/p rw - proc proc rw\n"
          "44 26 0:39 / /mnt/a rw - fuse.fuseiso fuseiso rw\n"
          "45 26 0:63 / /mnt/c rw - fusectl fusectl rw\n"
          "46 26 0:64 / /mnt/n rw - nfs4 server:/export rw\n"
          "48 26 0:66 / /mnt/h rw - fuse.sshfs user@host: rw\n",
          { "/mnt/b", "/mnt/a" },
          { 40 } },
    };
    for (const auto &[after, added, removed] : cases) {
        QList<quint64> gone;
        EXPECT_EQ(reported(base, after, gone), added) << after;
        EXPECT_EQ(gone, removed) << after;
    }
}

TEST(MountTable, ReportsOnlyNewMountIds)
{
    const std::vector<std::uint64_t> base { 0x100000001, 0x100000002 };
    // The unique ids listed after 'base', those reported new and those gone.
    const std::tuple<std::vector<std::uint64_t>, QList<quint64>, QList<quint64>> cases[] = {
        { { 0x100000002, 0x100000001 }, {}, {} },
        { {}, {}, { 0x100000001, 0x100000002 } },
        { { 0x100000001, 0x100000002, 0x100000003 }, { 0x100000003 }, {} },
        // As many ids as before, one of them new.
        { { 0x100000003, 0x100000001 }, { 0x100000003 }, { 0x100000002 } },
    };
    for (const auto &[after, added, gone] : cases) {
        MountIdDiff diff;
        EXPECT_EQ(each(diff.replace(base), &MountEntry::mountId),
                  QList<quint64>(base.begin(), base.end()));
        std::vector<MountEntry> removed;
        EXPECT_EQ(each(diff.replace(after, &removed), &MountEntry::mountId), added);
        QList<quint64> removedIds = each(removed, &MountEntry::mountId);
        std::sort(removedIds.begin(), removedIds.end());
        EXPECT_EQ(removedIds, gone);
        // What went is known no more, and comes back as new.
        EXPECT_EQ(each(diff.replace(base), &MountEntry::mountId), gone);
    }
}

} // namespace
