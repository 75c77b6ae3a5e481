#include "platform/mounttable.h"

#include <QHashFunctions>

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace {

using namespace std::string_view_literals;

// The fields of one line, split at single blanks. An empty field is still a
// field: a mount made with an empty source shows as two blanks in a row.
class Fields
{
public:
    explicit Fields(std::string_view line)
        : m_rest(line)
    { }
    [[nodiscard]] bool next(std::string_view &field)
    {
        if (m_done)
            return false;
        const std::size_t blank = m_rest.find(' ');
        field = m_rest.substr(0, blank);
        if (blank == std::string_view::npos)
            m_done = true;
        else
            m_rest.remove_prefix(blank + 1);
        return true;
    }

private:
    std::string_view m_rest;
    bool m_done = false;
};

bool parseNumber(std::string_view text, quint64 &value)
{
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty();
}

bool isDevice(std::string_view text) // "major:minor"
{
    const std::size_t colon = text.find(':');
    quint64 number = 0;
    return colon != std::string_view::npos && parseNumber(text.substr(0, colon), number)
        && parseNumber(text.substr(colon + 1), number);
}

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

// The kernel writes blank, tab, newline and backslash in a path as \ooo.
// Absent when the result would hold a NUL, which no path can.
std::optional<QByteArray> unescape(std::string_view field)
{
    if (field.find('\0') != std::string_view::npos)
        return std::nullopt;
    if (field.find('\\') == std::string_view::npos)
        return QByteArray(field.data(), qsizetype(field.size()));
    QByteArray bytes(qsizetype(field.size()), Qt::Uninitialized); // never grows
    char *out = bytes.data();
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && field.size() - i >= 4 && field[i + 1] <= '3' && isOctalDigit(field[i + 1])
            && isOctalDigit(field[i + 2]) && isOctalDigit(field[i + 3])) {
            const int value
                = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value == 0)
                return std::nullopt;
            *out++ = char(value);
            i += 3;
        } else {
            *out++ = c;
        }
    }
    bytes.truncate(out - bytes.constData());
    return bytes;
}

// id parent major:minor root mount-point options [optional...] - type source super-options
std::optional<MountEntry> parseLine(std::string_view line)
{
    Fields fields(line);
    std::string_view id, parent, device, root, point, options;
    if (!fields.next(id) || !fields.next(parent) || !fields.next(device) || !fields.next(root)
        || !fields.next(point) || !fields.next(options))
        return std::nullopt;
    quint64 mountId = 0, parentId = 0;
    if (!parseNumber(id, mountId) || !parseNumber(parent, parentId) || !isDevice(device)
        || root.empty() || !point.starts_with('/'))
        return std::nullopt;
    std::string_view field;
    do {
        if (!fields.next(field))
            return std::nullopt;
    } while (field != "-"sv);
    std::string_view type, source, superOptions;
    if (!fields.next(type) || !fields.next(source) || !fields.next(superOptions) || type.empty())
        return std::nullopt;
    std::optional<QByteArray> mountPoint = unescape(point);
    if (!mountPoint)
        return std::nullopt;
    // The three fields lie side by side in the line, so they are one copy.
    const char *identityEnd = point.data() + point.size();
    return MountEntry { mountId, QByteArray(device.data(), identityEnd - device.data()),
                        *std::move(mountPoint), QByteArray(type.data(), qsizetype(type.size())) };
}

} // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text)
{
    std::vector<MountEntry> entries;
    entries.reserve(std::count(text.begin(), text.end(), '\n') + 1);
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        if (auto entry = parseLine(text.substr(0, newline)))
            entries.push_back(*std::move(entry));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    }
    return entries;
}

bool isPseudoFileSystem(std::string_view type)
{
    static constexpr std::array types {
        "proc"sv,     "sysfs"sv,    "cgroup"sv,      "cgroup2"sv,    "devpts"sv,    "devtmpfs"sv,
        "mqueue"sv,   "debugfs"sv,  "tracefs"sv,     "securityfs"sv, "pstore"sv,    "bpf"sv,
        "configfs"sv, "fusectl"sv,  "binfmt_misc"sv, "autofs"sv,     "hugetlbfs"sv, "nsfs"sv,
        "ramfs"sv,    "efivarfs"sv, "rpc_pipefs"sv,
    };
    return std::find(types.begin(), types.end(), type) != types.end();
}

std::size_t MountTableDiff::KeyHash::operator()(const Key &key) const
{
    return qHashMulti(0, key.mountId, key.identity);
}

std::vector<MountEntry> MountTableDiff::replace(std::vector<MountEntry> table,
                                                std::vector<MountEntry> *removed)
{
    // Marking what is still there and sweeping the rest spares rebuilding
    // the set: most of a table is the same from one read to the next.
    const quint64 current = ++m_tables;
    std::vector<MountEntry> added;
    for (MountEntry &entry : table) {
        const auto [key, inserted] = m_known.insert(Key { entry.mountId, entry.identity, current });
        if (inserted)
            added.push_back(std::move(entry));
        else
            key->lastSeen = current;
    }
    std::erase_if(m_known, [current, removed](const Key &key) {
        if (key.lastSeen == current)
            return false;
        if (removed)
            removed->push_back(MountEntry { key.mountId, key.identity, {}, {} });
        return true;
    });
    return added;
}

std::vector<MountEntry> MountIdDiff::replace(std::span<const std::uint64_t> ids,
                                             std::vector<MountEntry> *removed)
{
    // Marked with the list that last held them, as MountTableDiff does.
    const quint64 current = ++m_lists;
    std::vector<MountEntry> added;
    m_known.reserve(ids.size());
    for (const std::uint64_t id : ids) {
        const auto [it, inserted] = m_known.try_emplace(id, current);
        if (inserted)
            added.push_back(MountEntry { id, {}, {}, {} });
        else
            it->second = current;
    }
    // Ids are listed once each: when every known id was seen again,
    // nothing has gone and the walk over the set is saved.
    if (m_known.size() == ids.size())
        return added;
    std::erase_if(m_known, [current, removed](const auto &known) {
        if (known.second == current)
            return false;
        if (removed)
            removed->push_back(MountEntry { known.first, {}, {}, {} });
        return true;
    });
    return added;
}

bool isNetworkFileSystem(std::string_view type)
{
    static constexpr std::array types {
        "nfs"sv,
        "nfs4"sv,
        "cifs"sv,
        "smb3"sv,
        "smbfs"sv,
        "ncpfs"sv,
        "afs"sv,
        "ceph"sv,
        "glusterfs"sv,
        "9p"sv,
        "davfs"sv,
        "lustre"sv,
        "gfs2"sv,
        "ocfs2"sv,
        "fuse.sshfs"sv,
        "fuse.rclone"sv,
        "fuse.s3fs"sv,
        "fuse.davfs2"sv,
        "fuse.gvfsd-fuse"sv,
        "fuse.glusterfs"sv,
    };
    return std::find(types.begin(), types.end(), type) != types.end();
}

void removeUnwatchedFileSystems(std::vector<MountEntry> &entries)
{
    std::erase_if(entries, [](const MountEntry &entry) {
        const std::string_view type(entry.fileSystemType.constData(),
                                    std::size_t(entry.fileSystemType.size()));
        return isPseudoFileSystem(type) || isNetworkFileSystem(type);
    });
}
