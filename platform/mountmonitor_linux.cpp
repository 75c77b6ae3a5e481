// Mount events on Linux: the kernel marks /proc/self/mountinfo with POLLPRI
// whenever the mount namespace changes (proc_pid_mountinfo(5)); each poll
// takes the mark down again, so a QSocketNotifier of type Exception wakes us
// once per burst of changes and nothing needs to be read to re-arm it.
//
// On each wake-up the table is read once and compared with the last one.
// Where the kernel has them (6.8 and later), listmount(2) gives the unique
// 64-bit ids of all mounts, which are never reused, and statmount(2)
// describes only the new ones; elsewhere the mountinfo text is parsed. A
// mount that goes is reported by the point it had when it came.
#include "platform/mountmonitor.h"

#include "platform/filedescriptor.h"
#include "platform/filesystemrepresentation.h"
#include "platform/mounttable.h"
#include "platform/retryoneintr_p.h"

#include <QHash>
#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// The listmount/statmount ABI (include/uapi/linux/mount.h); older C
// libraries and kernel headers do not have it yet.
#if defined(SYS_listmount) && defined(SYS_statmount)
constexpr long kListMountCall = SYS_listmount;
constexpr long kStatMountCall = SYS_statmount;
#elif defined(__x86_64__) || defined(__aarch64__)
constexpr long kListMountCall = 458;
constexpr long kStatMountCall = 457;
#else
constexpr long kListMountCall = -1; // not known here: the text is read
constexpr long kStatMountCall = -1;
#endif

struct MountIdRequest
{
    std::uint32_t size;
    std::uint32_t spare;
    std::uint64_t mountId;
    std::uint64_t parameter; // listmount: the last id already listed; statmount: the mask
};
static_assert(sizeof(MountIdRequest) == 24); // MNT_ID_REQ_SIZE_VER0

constexpr std::uint64_t kListRoot = ~std::uint64_t(0); // LSMT_ROOT: the whole namespace
constexpr std::uint64_t kStatMountPoint = 0x10; // STATMOUNT_MNT_POINT
constexpr std::uint64_t kStatFileSystemType = 0x20; // STATMOUNT_FS_TYPE
constexpr std::uint64_t kStatFileSystemSubtype = 0x100; // STATMOUNT_FS_SUBTYPE (6.11)
// struct statmount: a fixed header, then NUL-terminated strings that the
// header names by their offset from the header's end.
constexpr std::size_t kStatHeaderSize = 512;
constexpr std::size_t kStatSizeOffset = 0; // u32, the bytes filled in
constexpr std::size_t kStatMaskOffset = 8; // u64, which of the fields are filled in
constexpr std::size_t kStatFileSystemTypeOffset = 36; // u32
constexpr std::size_t kStatMountPointOffset = 108; // u32
constexpr std::size_t kStatFileSystemSubtypeOffset = 120; // u32

template<typename T> T fieldAt(const std::vector<char> &buffer, std::size_t offset)
{
    T value;
    std::memcpy(&value, buffer.data() + offset, sizeof value);
    return value;
}

// The string whose offset is at 'field' in a statmount reply of 'size' bytes.
std::optional<QByteArray> stringAt(const std::vector<char> &buffer, std::size_t size,
                                   std::size_t field)
{
    const std::size_t start = kStatHeaderSize + fieldAt<std::uint32_t>(buffer, field);
    if (start >= size)
        return std::nullopt;
    const std::size_t length = ::strnlen(buffer.data() + start, size - start);
    if (start + length == size)
        return std::nullopt; // not terminated
    return QByteArray(buffer.data() + start, qsizetype(length));
}

class LinuxMountMonitor final : public MountMonitor
{
public:
    LinuxMountMonitor(TableSource source, QObject *parent)
        : MountMonitor(parent)
        , m_useListMount(source == TableSource::Best && kListMountCall >= 0)
    { }

    bool start() override
    {
        if (m_notifier)
            return true;
        m_mountInfo = FileDescriptor(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
        if (!m_mountInfo.isValid())
            return false;
        auto changes = readChanges();
        if (!changes && m_useListMount) {
            m_useListMount = false; // ENOSYS, EPERM or EINVAL: an older or locked-down kernel
            changes = readChanges();
        }
        if (!changes)
            return false;
        m_notifier
            = std::make_unique<QSocketNotifier>(m_mountInfo.get(), QSocketNotifier::Exception);
        connect(m_notifier.get(), &QSocketNotifier::activated, this,
                &LinuxMountMonitor::tableChanged);
        return true;
    }

    quint64 tableReads() const override { return m_tableReads; }

private:
    void tableChanged()
    {
        auto changes = readChanges();
        if (!changes)
            return; // the mounts stay unknown, and the next change reads again
        ++m_tableReads;
        std::vector<MountEntry> &added = changes->added;
        const std::vector<MountEntry> &removed = changes->removed;
        if (m_useListMount)
            std::erase_if(added, [this](MountEntry &entry) { return !describe(entry); });
        removeUnwatchedFileSystems(added);

        // Gone mounts carry only their key: with listmount a mount is
        // described once, when it comes, so its point is kept from then.
        // A point is gone once the last reported mount on it has gone: when
        // one mount stacked on another goes, the other is still there. Only
        // the mounts from before this change count, so a volume replaced at
        // its point still goes before its successor comes.
        QList<QByteArray> gone;
        for (const MountEntry &entry : removed) {
            auto point = m_reported.take({ entry.mountId, entry.identity });
            if (point.isNull())
                continue;
            if (--m_mountsAt[point] > 0)
                continue;
            m_mountsAt.remove(point);
            gone.append(std::move(point));
        }
        for (const MountEntry &entry : added) {
            m_reported.insert({ entry.mountId, entry.identity }, entry.mountPoint);
            ++m_mountsAt[entry.mountPoint];
        }

        const QPointer<LinuxMountMonitor> alive(this); // a receiver may delete us
        for (const QByteArray &point : std::as_const(gone)) {
            Q_EMIT didUnmount(stringWithFileSystemRepresentation(point));
            if (!alive)
                return;
        }
        for (const MountEntry &entry : added) {
            Q_EMIT didMount(stringWithFileSystemRepresentation(entry.mountPoint));
            if (!alive)
                return;
        }
    }

    struct Changes
    {
        std::vector<MountEntry> added; // with listmount, only the ids are filled in
        std::vector<MountEntry> removed; // only the keys
    };

    // Reads the table once and compares it with the last one.
    std::optional<Changes> readChanges()
    {
        Changes changes;
        if (m_useListMount) {
            if (!listMountIds())
                return std::nullopt;
            changes.added = m_knownIds.replace(m_ids, &changes.removed);
            return changes;
        }
        const auto text = readMountInfo();
        if (!text)
            return std::nullopt;
        changes.added = m_known.replace(parseMountInfo(*text), &changes.removed);
        return changes;
    }

    std::optional<std::string_view> readMountInfo()
    {
        if (::lseek(m_mountInfo.get(), 0, SEEK_SET) < 0)
            return std::nullopt;
        std::size_t used = 0;
        for (;;) {
            if (m_text.size() - used < 4096)
                m_text.resize(std::max<std::size_t>(m_text.size() * 2, 65536));
            const ssize_t n = retryOnEintr([&] {
                return ::read(m_mountInfo.get(), m_text.data() + used, m_text.size() - used);
            });
            if (n < 0)
                return std::nullopt;
            if (n == 0)
                return std::string_view(m_text.data(), used);
            used += std::size_t(n);
        }
    }

    // The ids of every mount into m_ids, whose room is kept between reads.
    bool listMountIds()
    {
        constexpr std::size_t kPage = 4096;
        MountIdRequest request { sizeof(MountIdRequest), 0, kListRoot, 0 };
        std::size_t used = 0;
        for (;;) {
            if (m_ids.size() < used + kPage)
                m_ids.resize(used + kPage);
            const long n = retryOnEintr(
                [&] { return ::syscall(kListMountCall, &request, m_ids.data() + used, kPage, 0); });
            if (n < 0)
                return false;
            used += std::size_t(n);
            if (std::size_t(n) < kPage) {
                m_ids.resize(used);
                return true;
            }
            request.parameter = m_ids[used - 1]; // go on after the last one
        }
    }

    // Fills in the mount point and type of a listed mount; false when it
    // has gone since (ENOENT) or cannot be described.
    bool describe(MountEntry &entry)
    {
        MountIdRequest request { sizeof(MountIdRequest), 0, entry.mountId,
                                 kStatMountPoint | kStatFileSystemType | kStatFileSystemSubtype };
        if (m_stat.size() < kStatHeaderSize + 4096)
            m_stat.resize(kStatHeaderSize + 4096);
        for (;;) {
            const long result = retryOnEintr([&] {
                return ::syscall(kStatMountCall, &request, m_stat.data(), m_stat.size(), 0);
            });
            if (result == 0)
                break;
            if (errno != EOVERFLOW || m_stat.size() >= (std::size_t(1) << 20))
                return false;
            m_stat.resize(m_stat.size() * 2);
        }
        const std::size_t size
            = std::min<std::size_t>(fieldAt<std::uint32_t>(m_stat, kStatSizeOffset), m_stat.size());
        const auto mask = fieldAt<std::uint64_t>(m_stat, kStatMaskOffset);
        if (size < kStatHeaderSize || (mask & kStatMountPoint) == 0
            || (mask & kStatFileSystemType) == 0)
            return false;
        auto mountPoint = stringAt(m_stat, size, kStatMountPointOffset);
        auto type = stringAt(m_stat, size, kStatFileSystemTypeOffset);
        if (!mountPoint || !type)
            return false;
        entry.mountPoint = *std::move(mountPoint);
        entry.fileSystemType = *std::move(type);
        // "fuse" alone says little: spell it as mountinfo does ("fuse.sshfs")
        // where the kernel tells the subtype.
        if ((mask & kStatFileSystemSubtype) != 0) {
            if (const auto subtype = stringAt(m_stat, size, kStatFileSystemSubtypeOffset);
                subtype && !subtype->isEmpty())
                entry.fileSystemType += '.' + *subtype;
        }
        return true;
    }

    bool m_useListMount;
    FileDescriptor m_mountInfo;
    std::unique_ptr<QSocketNotifier> m_notifier; // after the descriptor: goes first
    MountTableDiff m_known; // the mountinfo text's mounts
    MountIdDiff m_knownIds; // listmount's ids
    quint64 m_tableReads = 0;
    // The points of the mounts reported so far, by key, for their going.
    QHash<std::pair<quint64, QByteArray>, QByteArray> m_reported;
    QHash<QByteArray, int> m_mountsAt; // how many of them are on each point
    std::vector<char> m_text; // buffers kept from one read to the next
    std::vector<std::uint64_t> m_ids;
    std::vector<char> m_stat;
};

} // namespace

MountMonitor::MountMonitor(QObject *parent)
    : QObject(parent)
{ }

MountMonitor::~MountMonitor() = default;

std::unique_ptr<MountMonitor> MountMonitor::create(TableSource source, QObject *parent)
{
    return std::make_unique<LinuxMountMonitor>(source, parent);
}
