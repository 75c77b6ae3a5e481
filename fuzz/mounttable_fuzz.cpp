// parseMountInfo() and MountTableDiff on any text. The input is a series of
// mount tables separated by empty lines. Each entry read has a mount point
// that starts with "/" and holds no NUL, and a file system type. Each table
// in turn goes through one MountTableDiff, which must report as new exactly
// the entries whose key (id and identity) the previous table did not have,
// the first of each key only, in table order; and as removed exactly the
// keys of the previous table that this one does not have. The expectations
// come from plain linear searches.
#include "fuzz/fuzzsupport.h"
#include "platform/mounttable.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Key = std::pair<quint64, QByteArray>;

Key keyOf(const MountEntry &entry)
{
    return { entry.mountId, entry.identity };
}

bool contains(const std::vector<Key> &keys, const Key &key)
{
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

bool sameEntries(const std::vector<MountEntry> &a, const std::vector<MountEntry> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto &x, const auto &y) {
        return x.mountId == y.mountId && x.identity == y.identity && x.mountPoint == y.mountPoint
            && x.fileSystemType == y.fileSystemType;
    });
}

QByteArray describe(const std::vector<MountEntry> &entries)
{
    QByteArray out;
    for (const MountEntry &e : entries)
        out += QByteArray::number(e.mountId) + " [" + fuzz::printable(e.identity) + "] ["
            + fuzz::printable(e.mountPoint) + "] " + fuzz::printable(e.fileSystemType) + '\n';
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view input(reinterpret_cast<const char *>(data), size);
    MountTableDiff diff;
    std::vector<Key> known;
    for (bool more = true; more;) {
        const std::size_t gap = input.find("\n\n");
        more = gap != std::string_view::npos;
        const std::vector<MountEntry> table = parseMountInfo(input.substr(0, gap));
        input.remove_prefix(more ? gap + 2 : input.size());

        for (const MountEntry &e : table) {
            FUZZ_CHECK(e.mountPoint.startsWith('/') && !e.mountPoint.contains('\0')
                           && !e.fileSystemType.isEmpty(),
                       describe({ e }));
        }

        std::vector<Key> keys;
        std::vector<MountEntry> expectedAdded;
        for (const MountEntry &e : table) {
            if (contains(keys, keyOf(e)))
                continue;
            keys.push_back(keyOf(e));
            if (!contains(known, keyOf(e)))
                expectedAdded.push_back(e);
        }
        std::vector<Key> expectedRemoved;
        for (const Key &key : known) {
            if (!contains(keys, key))
                expectedRemoved.push_back(key);
        }

        std::vector<MountEntry> removed;
        const std::vector<MountEntry> added = diff.replace(table, &removed);
        FUZZ_CHECK(sameEntries(added, expectedAdded),
                   "added:\n" + describe(added) + "expected:\n" + describe(expectedAdded));
        std::vector<Key> removedKeys;
        for (const MountEntry &e : removed) {
            FUZZ_CHECK(e.mountPoint.isEmpty() && e.fileSystemType.isEmpty(), describe(removed));
            removedKeys.push_back(keyOf(e));
        }
        std::sort(removedKeys.begin(), removedKeys.end());
        std::sort(expectedRemoved.begin(), expectedRemoved.end());
        FUZZ_CHECK(removedKeys == expectedRemoved, "removed:\n" + describe(removed));
        known = std::move(keys);
    }
    return 0;
}
