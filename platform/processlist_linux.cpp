// The process list on Linux, read from /proc (proc(5)). A process's bundle is
// the *.app folder whose Contents/MacOS holds its executable (/proc/PID/exe),
// or, for an interpreted program, the script named on its command line.
//
// Process ids are recycled, so each listed process is remembered with its
// start time (field 22 of /proc/PID/stat). A quit request opens a pidfd
// (pidfd_open(2)), checks the start time again, and signals through the pidfd
// (pidfd_send_signal(2)): a process that ended and whose id was reused is
// never hit.
#include "platform/processlist.h"

#include "platform/bundle.h"
#include "platform/filesystemrepresentation.h"

#include <QHash>

#include <algorithm>
#include <climits>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray procPath(pid_t pid, const char *entry)
{
    return "/proc/" + QByteArray::number(pid) + '/' + entry;
}

// A /proc file: its size reads as 0, so read to the end, up to 'cap' bytes.
// 'owner', when given, receives the file's owner: the process's user.
std::optional<QByteArray> readProcFile(const QByteArray &path, qsizetype cap,
                                       uid_t *owner = nullptr)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    if (owner && ::fstat(fd, &st) == 0)
        *owner = st.st_uid;
    QByteArray contents;
    char buffer[4096];
    ssize_t n = 0;
    // A short read is the end: /proc hands out what it has in one go.
    while (contents.size() < cap && (n = ::read(fd, buffer, sizeof buffer)) > 0) {
        contents.append(buffer, n);
        if (size_t(n) < sizeof buffer)
            break;
    }
    ::close(fd);
    if (n < 0)
        return std::nullopt;
    return contents;
}

struct StatFields
{
    quint64 startTime; // field 22: clock ticks after boot
    bool kernelThread; // PF_KTHREAD in field 9
    uid_t user;
};

// The fields of /proc/PID/stat the list needs.
std::optional<StatFields> statFields(pid_t pid)
{
    uid_t user = uid_t(-1);
    const auto stat = readProcFile(procPath(pid, "stat"), 4096, &user);
    if (!stat)
        return std::nullopt;
    // The command name (field 2) may hold blanks and parentheses; fields
    // after the last ')' are plain numbers and letters.
    const qsizetype close = stat->lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat->mid(close + 2).split(' ');
    bool startOk = false;
    bool flagsOk = false;
    const quint64 start = fields.value(22 - 3).toULongLong(&startOk);
    const quint64 flags = fields.value(9 - 3).toULongLong(&flagsOk);
    if (!startOk || !flagsOk)
        return std::nullopt;
    constexpr quint64 kKernelThread = 0x00200000; // PF_KTHREAD
    return StatFields { start, (flags & kKernelThread) != 0, user };
}

std::optional<quint64> startTime(pid_t pid)
{
    const auto fields = statFields(pid);
    return fields ? std::optional(fields->startTime) : std::nullopt;
}

std::optional<QByteArray> readLink(const QByteArray &path)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer);
    if (n <= 0 || size_t(n) >= sizeof buffer)
        return std::nullopt;
    return QByteArray(buffer, n);
}

std::optional<QString> bundleOfProgram(const QByteArray &program)
{
    // Most arguments are no program in a bundle: a byte test first, as
    // command lines can be long.
    if (!program.contains(".app/Contents/MacOS/"))
        return std::nullopt;
    return Bundle::bundlePathForProgram(stringWithFileSystemRepresentation(program));
}

// 'alive' tells whether the process's program could be read at all: a
// process that has ended (or is a zombie) has none.
std::optional<QString> bundleOfProcess(pid_t pid, bool *alive)
{
    auto exe = readLink(procPath(pid, "exe"));
    *alive = exe.has_value();
    if (exe) {
        // A program whose file was replaced since it started still names it.
        if (exe->endsWith(" (deleted)"))
            exe->chop(10);
        if (auto bundle = bundleOfProgram(*exe))
            return bundle;
    }
    // An interpreter running a script: the script is one of its arguments.
    const auto cmdline = readProcFile(procPath(pid, "cmdline"), 1 << 20);
    if (!cmdline)
        return std::nullopt;
    const QList<QByteArray> arguments = cmdline->split('\0');
    std::optional<std::optional<QByteArray>> cwd; // read on first need
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QByteArray argument = arguments[i];
        if (argument.isEmpty() || argument.startsWith('-'))
            continue;
        if (!argument.startsWith('/')) {
            if (!cwd)
                cwd = readLink(procPath(pid, "cwd"));
            if (!*cwd)
                continue;
            argument = **cwd + '/' + argument;
        }
        if (auto bundle = bundleOfProgram(argument))
            return bundle;
    }
    return std::nullopt;
}

class LinuxProcessList final : public ProcessList
{
public:
    bool getNextProcess(ProcessSerialNumber &psn) override
    {
        if (psn.lowLongOfPSN == 0 || m_snapshot.empty())
            takeSnapshot();
        const auto next
            = std::upper_bound(m_snapshot.begin(), m_snapshot.end(), pid_t(psn.lowLongOfPSN));
        if (next == m_snapshot.end())
            return false;
        psn = { 0, std::uint32_t(*next) };
        return true;
    }

    std::optional<ProcessInformation> processInformation(const ProcessSerialNumber &psn) override
    {
        const pid_t pid = pid_t(psn.lowLongOfPSN);
        if (!m_startTimes.contains(pid))
            return std::nullopt;
        ProcessInformation information;
        bool alive = false;
        if (const auto bundle = bundleOfProcess(pid, &alive)) {
            information.bundlePath = *bundle;
            if (const auto reader = Bundle::create(*information.bundlePath))
                information.bundleIdentifier = reader->bundleIdentifier();
        }
        // A process id is not reused while its process lives: the same start
        // time now means the bundle above was read of the listed process. A
        // live process without a bundle needs no check: it matches nothing.
        if ((information.bundlePath || !alive) && !isListedProcess(pid))
            return std::nullopt;
        return information;
    }

    bool sendQuitRequest(const ProcessSerialNumber &psn) override
    {
        const pid_t pid = pid_t(psn.lowLongOfPSN);
        if (pid <= 0 || !m_startTimes.contains(pid))
            return false;
        const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
        if (pidfd < 0)
            return false;
        // The pidfd now holds on to whatever process has this id; send only
        // if that is still the one we listed.
        const bool same = isListedProcess(pid);
        const bool sent = same && ::syscall(SYS_pidfd_send_signal, pidfd, SIGTERM, nullptr, 0) == 0;
        ::close(pidfd);
        return sent;
    }

private:
    void takeSnapshot()
    {
        m_snapshot.clear();
        m_startTimes.clear();
        DIR *proc = ::opendir("/proc");
        if (!proc)
            return;
        const uid_t user = ::getuid();
        while (const dirent *entry = ::readdir(proc)) {
            char *end = nullptr;
            const long pid = std::strtol(entry->d_name, &end, 10);
            if (pid <= 0 || *end != '\0')
                continue;
            // Kernel threads, zombies and other users' processes have no
            // program we may read: one readlink tells, before any file is
            // opened (most entries of /proc are kernel threads).
            char program[8];
            const QByteArray exe = procPath(pid_t(pid), "exe");
            if (::readlink(exe.constData(), program, sizeof program) < 0)
                continue;
            const auto fields = statFields(pid_t(pid));
            if (fields && fields->user == user && !fields->kernelThread) {
                m_snapshot.push_back(pid_t(pid));
                m_startTimes.insert(pid_t(pid), fields->startTime);
            }
        }
        ::closedir(proc);
        std::sort(m_snapshot.begin(), m_snapshot.end());
    }

    bool isListedProcess(pid_t pid) const
    {
        const auto it = m_startTimes.constFind(pid);
        return it != m_startTimes.constEnd() && startTime(pid) == *it;
    }

    std::vector<pid_t> m_snapshot;
    QHash<pid_t, quint64> m_startTimes;
};

} // namespace

std::unique_ptr<ProcessList> ProcessList::create()
{
    return std::make_unique<LinuxProcessList>();
}
