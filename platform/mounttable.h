// The kernel's table of mounts as values: reading /proc/self/mountinfo text,
// and telling which mounts of a fresh table (or list of mount ids) were not
// there the last time. No I/O here; MountMonitor does the reading.
#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct MountEntry
{
    quint64 mountId = 0;
    // Empty when mountId is the kernel's unique 64-bit id, which is never
    // reused. The ids in mountinfo text are reused as soon as they are free,
    // so there it holds "major:minor root mount-point" as written, which
    // tells a new mount under an old id apart.
    QByteArray identity;
    QByteArray mountPoint; // the raw bytes, unescaped
    QByteArray fileSystemType; // "tmpfs", "fuse.fuseiso", ...
};

// The entries of /proc/self/mountinfo text (proc_pid_mountinfo(5)), in table
// order. Lines that do not have the documented shape are skipped.
[[nodiscard]] std::vector<MountEntry> parseMountInfo(std::string_view text);

// Whether a file system type is one of the kernel's own (proc, sysfs,
// cgroup, ...) that never holds a user's files; compares whole type names.
[[nodiscard]] bool isPseudoFileSystem(std::string_view type);

// Whether a file system type reaches its files over the network (nfs, cifs,
// sshfs through FUSE as "fuse.sshfs", ...). Listing such a volume can block
// for as long as its server is gone, and an installer disc is never one.
[[nodiscard]] bool isNetworkFileSystem(std::string_view type);

// The mounts of the last table seen, as a hash set, so that comparing a new
// table costs time linear in its size.
class MountTableDiff
{
public:
    // Makes 'table' the known set and returns the entries of it that were
    // not known, in table order. The first call returns the whole table.
    // With 'removed', the known mounts that 'table' no longer holds are
    // appended to it, in no particular order, with only their id and
    // identity filled in: the set keeps nothing else of a mount.
    [[nodiscard]] std::vector<MountEntry> replace(std::vector<MountEntry> table,
                                                  std::vector<MountEntry> *removed = nullptr);

private:
    struct Key
    {
        quint64 mountId;
        QByteArray identity;
        mutable quint64 lastSeen = 0; // the table that last held it; not part of the key
        friend bool operator==(const Key &a, const Key &b)
        {
            return a.mountId == b.mountId && a.identity == b.identity;
        }
    };
    struct KeyHash
    {
        std::size_t operator()(const Key &key) const;
    };
    std::unordered_set<Key, KeyHash> m_known;
    quint64 m_tables = 0;
};

// The ids of the last list of mounts seen: listmount(2)'s unique 64-bit ids,
// each listed once and never reused, so that comparing a new list costs
// time linear in its size without building an entry for each mount.
class MountIdDiff
{
public:
    // Makes 'ids' the known set and returns an entry, with only its id
    // filled in, for each id that was not known, in list order. The first
    // call returns the whole list. With 'removed', the known ids that 'ids'
    // no longer holds are appended to it as entries, in no particular order.
    [[nodiscard]] std::vector<MountEntry> replace(std::span<const std::uint64_t> ids,
                                                  std::vector<MountEntry> *removed = nullptr);

private:
    std::unordered_map<std::uint64_t, quint64> m_known; // each id, and the list that last held it
    quint64 m_lists = 0;
};

// Leaves out the entries that are pseudo or network file systems: those are
// never reported, though they stay in the known set like any other mount.
void removeUnwatchedFileSystems(std::vector<MountEntry> &entries);
