// The process list on Linux, read from /proc (proc(5)). A process's bundle is
// the *.app folder whose Contents/MacOS holds its executable (/proc/PID/exe,
// also after that file was deleted), or, for an interpreter, the script named
// on its command line: the first argument that is not an option, when it is
// a file in a bundle's Contents/MacOS. The process's program counts as an
// interpreter when it is a shell or script language we know by name (sh,
// bash, dash, ksh, zsh, busybox, python, perl, ruby, versions included, so
// that `bash .../run` runs a "#!/bin/sh" script and `sh .../run` one with no
// "#!" line), or when the script's "#!" line names it. Other programs that
// merely name a file in a bundle (`tail -f .../Contents/MacOS/run`) do not
// count.
//
// Process ids are recycled, so a process whose bundle was read is remembered
// with its start time (field 22 of /proc/PID/stat). A quit request opens a
// pidfd (pidfd_open(2)), checks the start time again, and signals through the
// pidfd (pidfd_send_signal(2)): a process that ended and whose id was reused
// is never hit.
//
// A walk costs system calls, which are dear: most processes get one readlink
// of their program and one read of their command line; tasks that had no
// program at the last walk (kernel threads, zombies) get none. A process's
// command-line file stays open from one walk to the next and is read again
// with pread: the file belongs to the process, not to the program it runs,
// so it shows a new command line after an exec, and fails once the process
// has ended.
#include "platform/processlist.h"

#include "platform/bundle.h"
#include "platform/filesystemrepresentation.h"

#include <QHash>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

QByteArray procPath(pid_t pid, const char *entry)
{
    return "/proc/" + QByteArray::number(pid) + '/' + entry;
}

// A /proc file: its size reads as 0, so read to the end, up to 'cap' bytes.
std::optional<QByteArray> readProcFile(const QByteArray &path, qsizetype cap)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
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

// Field 22 of /proc/PID/stat: the process's start, in clock ticks after boot.
std::optional<quint64> startTime(pid_t pid)
{
    const auto stat = readProcFile(procPath(pid, "stat"), 4096);
    if (!stat)
        return std::nullopt;
    // The command name (field 2) may hold blanks and parentheses; fields
    // after the last ')' are plain numbers and letters.
    const qsizetype close = stat->lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    bool ok = false;
    const quint64 start = stat->mid(close + 2).split(' ').value(22 - 3).toULongLong(&ok);
    return ok ? std::optional(start) : std::nullopt;
}

// Whether this process may read the programs of other users' processes
// (root, or CAP_SYS_PTRACE): then a readable /proc/PID/exe does not tell
// that the process is the user's.
bool mayReadOtherUsersPrograms()
{
    if (::geteuid() == 0)
        return true;
    const auto status = readProcFile("/proc/self/status", 1 << 16);
    const qsizetype at = status ? status->indexOf("\nCapEff:") : -1;
    if (at < 0)
        return true; // unknown: check each process's owner
    const qsizetype end = status->indexOf('\n', at + 1);
    bool ok = false;
    const quint64 effective = status->mid(at + 9, end - at - 9).trimmed().toULongLong(&ok, 16);
    constexpr quint64 kSysPtrace = quint64(1) << 19; // CAP_SYS_PTRACE
    return !ok || (effective & kSysPtrace) != 0;
}

std::optional<QByteArray> readLink(const QByteArray &path)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer);
    if (n <= 0 || size_t(n) >= sizeof buffer)
        return std::nullopt;
    return QByteArray(buffer, n);
}

// ".app" is left to bundlePathForProgram, which takes it in any letter case.
constexpr QByteArrayView kBundleProgramMark = "/Contents/MacOS/";

std::optional<QString> bundleOfProgram(const QByteArray &program)
{
    // Most arguments are no program in a bundle: a byte test first, as
    // command lines can be long.
    if (!program.contains(kBundleProgramMark))
        return std::nullopt;
    return Bundle::bundlePathForProgram(stringWithFileSystemRepresentation(program));
}

constexpr QByteArrayView kDeletedMark = " (deleted)";

// The program a script's "#!" line names, resolved through symbolic links:
// "#!/bin/sh -e" names /bin/sh; "#!/usr/bin/env NAME" names NAME as found on
// our PATH. Absent for a file that is no script.
std::optional<QByteArray> interpreterOf(const QByteArray &script)
{
    const int fd = ::open(script.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    const QByteArrayView head(buffer, n > 0 ? n : 0);
    if (!head.startsWith("#!"))
        return std::nullopt;
    const qsizetype end = head.indexOf('\n');
    QList<QByteArray> words
        = head.sliced(2, (end < 0 ? head.size() : end) - 2).toByteArray().simplified().split(' ');
    words.removeAll(QByteArray());
    if (words.isEmpty())
        return std::nullopt;
    QByteArray program = words.takeFirst();
    if (program.endsWith("/env")) {
        const auto name = std::find_if(words.cbegin(), words.cend(), [](const QByteArray &word) {
            return !word.startsWith('-') && !word.contains('=');
        });
        if (name == words.cend())
            return std::nullopt;
        program.clear();
        const QByteArray path = qEnvironmentVariableIsSet("PATH")
            ? qgetenv("PATH")
            : QByteArray("/usr/local/bin:/usr/bin:/bin");
        for (const QByteArray &folder : path.split(':')) {
            const QByteArray candidate = folder + '/' + *name;
            if (!folder.isEmpty() && ::access(candidate.constData(), X_OK) == 0) {
                program = candidate;
                break;
            }
        }
    }
    char resolved[PATH_MAX];
    if (program.isEmpty() || !::realpath(program.constData(), resolved))
        return std::nullopt;
    return QByteArray(resolved);
}

// The first operand of a command line (NUL-separated): the first argument
// after the program's own name that is neither empty nor an option.
std::optional<QByteArrayView> firstOperand(QByteArrayView cmdline)
{
    qsizetype start = cmdline.indexOf('\0');
    if (start < 0)
        return std::nullopt;
    while (++start <= cmdline.size()) {
        qsizetype end = cmdline.indexOf('\0', start);
        if (end < 0)
            end = cmdline.size();
        const QByteArrayView argument = cmdline.sliced(start, end - start);
        if (!argument.isEmpty() && !argument.startsWith('-'))
            return argument;
        start = end;
    }
    return std::nullopt;
}

// Whether a relative path's own last folders allow it to end up as
// ".../Name.app/Contents/MacOS/program" below some working folder: most
// operands ("1000", "src/main.c") do not, and then the folder need not be read.
bool mayEndInBundleProgram(QByteArrayView relative)
{
    qsizetype end = relative.lastIndexOf('/');
    for (const QByteArrayView name : { QByteArrayView("MacOS"), QByteArrayView("Contents") }) {
        if (end < 0)
            return true; // the rest is the working folder's
        const qsizetype start = relative.first(end).lastIndexOf('/') + 1;
        if (relative.sliced(start, end - start) != name)
            return false;
        end = start - 1;
    }
    return true;
}

// Whether a program is a shell or script language known by its file name,
// a version after it aside ("python3.11", "ksh93").
bool isKnownInterpreter(QByteArrayView program)
{
    QByteArrayView name = program.sliced(program.lastIndexOf('/') + 1);
    while (!name.isEmpty() && (std::isdigit(uchar(name.back())) || name.back() == '.'))
        name.chop(1);
    static constexpr QByteArrayView known[] = { "sh",  "bash",    "dash",   "ash",  "ksh", "mksh",
                                                "zsh", "busybox", "python", "perl", "ruby" };
    return std::find(std::begin(known), std::end(known), name) != std::end(known);
}

bool isRegularFile(const QByteArray &path)
{
    struct stat info;
    return ::stat(path.constData(), &info) == 0 && S_ISREG(info.st_mode);
}

// The bundle of the script an interpreter runs ('cmdline' NUL-separated):
// its first operand, a relative one taken from its working folder.
std::optional<QString> bundleOfScript(pid_t pid, QByteArrayView cmdline)
{
    const auto operand = firstOperand(cmdline);
    if (!operand)
        return std::nullopt;
    QByteArray script = operand->toByteArray();
    if (!script.startsWith('/')) {
        if (!mayEndInBundleProgram(script))
            return std::nullopt;
        const auto cwd = readLink(procPath(pid, "cwd"));
        if (!cwd)
            return std::nullopt;
        script = *cwd + '/' + script;
    }
    auto bundle = bundleOfProgram(script);
    if (!bundle)
        return std::nullopt;
    auto program = readLink(procPath(pid, "exe"));
    if (program && program->endsWith(kDeletedMark))
        program->chop(kDeletedMark.size());
    if (!program)
        return std::nullopt;
    if (isKnownInterpreter(*program))
        return isRegularFile(script) ? bundle : std::nullopt;
    const auto interpreter = interpreterOf(script);
    if (!interpreter || *program != *interpreter)
        return std::nullopt;
    return bundle;
}

// The bundle of a process's program, or of the script it runs.
std::optional<ProcessInformation> bundleOfRunningProcess(pid_t pid)
{
    ProcessInformation found;
    if (auto exe = readLink(procPath(pid, "exe"))) {
        // The kernel marks a program whose file was deleted or replaced; it
        // still is the program the process runs.
        found.programDeleted = exe->endsWith(kDeletedMark);
        if (found.programDeleted)
            exe->chop(kDeletedMark.size());
        if ((found.bundlePath = bundleOfProgram(*exe)))
            return found;
    }
    const auto cmdline = readProcFile(procPath(pid, "cmdline"), 1 << 20);
    if (!cmdline || !(found.bundlePath = bundleOfScript(pid, *cmdline)))
        return std::nullopt;
    found.programDeleted = false;
    return found;
}

class LinuxProcessList final : public ProcessList
{
public:
    LinuxProcessList() = default;
    ~LinuxProcessList() override
    {
        for (const KeptFile &kept : std::as_const(m_commandLines))
            ::close(kept.fd);
    }
    LinuxProcessList(const LinuxProcessList &) = delete;
    LinuxProcessList &operator=(const LinuxProcessList &) = delete;

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
        const auto listed = m_listed.find(pid);
        if (listed == m_listed.end())
            return std::nullopt;
        // Most processes run no bundle's program nor script: one read of the
        // command line tells, and they need no more.
        if (!listed->runsBundleProgram) {
            const auto runsScript = runsBundleScript(pid, m_commandLines.value(pid).fd);
            if (!runsScript)
                return std::nullopt; // ended
            if (!*runsScript)
                return ProcessInformation {};
        }
        // A process id is not reused while its process lives: the same start
        // time before and after the reads tells that they were of one
        // process, and that process is the one quit requests may reach.
        const auto before = startTime(pid);
        if (!before || (listed->startTime && *listed->startTime != *before))
            return std::nullopt;
        ProcessInformation information
            = bundleOfRunningProcess(pid).value_or(ProcessInformation {});
        if (information.bundlePath) {
            if (const auto reader = Bundle::create(*information.bundlePath))
                information.bundleIdentifier = reader->bundleIdentifier();
        }
        if (startTime(pid) != before)
            return std::nullopt;
        listed->startTime = before;
        return information;
    }

    bool sendQuitRequest(const ProcessSerialNumber &psn) override
    {
        const pid_t pid = pid_t(psn.lowLongOfPSN);
        const auto listed = m_listed.constFind(pid);
        if (listed == m_listed.constEnd() || !listed->startTime)
            return false;
        const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
        if (pidfd < 0)
            return false;
        // The pidfd now holds on to whatever process has this id; send only
        // if that is still the one whose information was read.
        const bool same = startTime(pid) == listed->startTime;
        const bool sent = same && ::syscall(SYS_pidfd_send_signal, pidfd, SIGTERM, nullptr, 0) == 0;
        ::close(pidfd);
        return sent;
    }

private:
    struct KeptFile
    {
        ino_t inode = 0; // of /proc/PID when opened
        int fd = -1;
    };

    // Whether the process runs a bundle's script; absent when it has ended.
    // Most command lines fit a buffer on the stack, so most processes cost
    // one read of the file kept open since an earlier walk ('kept', or -1).
    static std::optional<bool> runsBundleScript(pid_t pid, int kept)
    {
        char buffer[4096];
        ssize_t n = -1;
        if (kept >= 0) {
            n = ::pread(kept, buffer, sizeof buffer, 0);
        } else {
            char path[48];
            std::snprintf(path, sizeof path, "/proc/%d/cmdline", int(pid));
            const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return std::nullopt;
            n = ::read(fd, buffer, sizeof buffer);
            ::close(fd);
        }
        if (n < 0)
            return std::nullopt;
        if (size_t(n) < sizeof buffer)
            return bundleOfScript(pid, QByteArrayView(buffer, n)).has_value();
        const auto cmdline = readProcFile(procPath(pid, "cmdline"), 1 << 20);
        if (!cmdline)
            return std::nullopt;
        return bundleOfScript(pid, *cmdline).has_value();
    }

    struct Listed
    {
        // What /proc/PID/exe named when listed: a program in a bundle.
        bool runsBundleProgram = false;
        // Known once the process's information has been read.
        std::optional<quint64> startTime;
    };

    void takeSnapshot()
    {
        m_snapshot.clear();
        m_listed.clear();
        const QHash<pid_t, ino_t> programless = std::exchange(m_programless, {});
        QHash<pid_t, KeptFile> kept = std::exchange(m_commandLines, {});
        DIR *proc = ::opendir("/proc");
        if (!proc)
            return;
        const int procFd = ::dirfd(proc);
        const uid_t user = ::getuid();
        if (!m_checkOwners)
            m_checkOwners = mayReadOtherUsersPrograms();
        const bool checkOwners = *m_checkOwners;
        while (const dirent *entry = ::readdir(proc)) {
            char *end = nullptr;
            const long pid = std::strtol(entry->d_name, &end, 10);
            if (pid <= 0 || *end != '\0')
                continue;
            // Kernel threads, zombies and (for an ordinary user) other
            // users' processes have no program we may read: one readlink
            // tells, before any file is opened. Most of /proc is kernel
            // threads, and a task seen without a program under the same
            // inode before needs not even that: kernel threads stay without
            // one, zombies never get one back, a reused id comes with a new
            // inode.
            if (entry->d_ino > 1 && programless.value(pid_t(pid)) == entry->d_ino) {
                m_programless.insert(pid_t(pid), entry->d_ino);
                continue;
            }
            char program[PATH_MAX];
            char exe[32];
            std::snprintf(exe, sizeof exe, "%ld/exe", pid);
            const ssize_t n = ::readlinkat(procFd, exe, program, sizeof program);
            if (n < 0) {
                if (errno == ENOENT && entry->d_ino > 1)
                    m_programless.insert(pid_t(pid), entry->d_ino);
                continue;
            }
            struct stat owner;
            if (checkOwners
                && (::fstatat(procFd, entry->d_name, &owner, 0) != 0 || owner.st_uid != user))
                continue;
            m_snapshot.push_back(pid_t(pid));
            keepCommandLine(procFd, pid_t(pid), entry->d_ino, kept);
            // A cut-off name may still be a bundle's program.
            m_listed.insert(pid_t(pid),
                            { size_t(n) >= sizeof program
                                  || QByteArrayView(program, n).contains(kBundleProgramMark),
                              std::nullopt });
        }
        ::closedir(proc);
        std::sort(m_snapshot.begin(), m_snapshot.end());
        for (const KeptFile &gone : std::as_const(kept))
            ::close(gone.fd);
    }

    // Carries a process's open command-line file over from the last walk, or
    // opens it. Under the same /proc inode it is the same process: a reused
    // id comes with a new inode. Not every process gets one: the files
    // count against our limit of open descriptors.
    void keepCommandLine(int procFd, pid_t pid, ino_t inode, QHash<pid_t, KeptFile> &previous)
    {
        const auto carried = previous.constFind(pid);
        if (carried != previous.constEnd() && carried->inode == inode && inode > 1) {
            m_commandLines.insert(pid, *carried);
            previous.erase(carried);
            return;
        }
        if (m_commandLines.size() >= keptFilesLimit())
            return;
        char path[32];
        std::snprintf(path, sizeof path, "%d/cmdline", int(pid));
        const int fd = ::openat(procFd, path, O_RDONLY | O_CLOEXEC);
        if (fd >= 0)
            m_commandLines.insert(pid, { inode, fd });
    }

    // A quarter of the soft limit on open descriptors, at most 1,024.
    static qsizetype keptFilesLimit()
    {
        static const qsizetype limit = [] {
            rlimit files {};
            if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
                return qsizetype(256);
            return qsizetype(std::min<rlim_t>(files.rlim_cur / 4, 1024));
        }();
        return limit;
    }

    std::vector<pid_t> m_snapshot;
    QHash<pid_t, Listed> m_listed;
    // Tasks without a program (kernel threads, zombies) at the last
    // snapshot, by inode: most of /proc, skipped without a system call.
    QHash<pid_t, ino_t> m_programless;
    std::optional<bool> m_checkOwners; // asked once: privileges seldom change
    QHash<pid_t, KeptFile> m_commandLines;
};

} // namespace

std::unique_ptr<ProcessList> ProcessList::create()
{
    return std::make_unique<LinuxProcessList>();
}
