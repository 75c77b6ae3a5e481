// The host product's program for tests and the demo: it records every start
// as one JSON line {"pid":..,"program":..,"arguments":[..],"ignoredSignals":..,
// "outputIsPipe":..,"descriptors":{"0":target,..}} appended to the file named
// by QUILLMONT_REQUEST_LOG, and, when QUILLMONT_STAY_RUNNING is set, stays
// running until it is asked to quit (SIGTERM).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string jsonString(const char *text)
{
    std::string out = "\"";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += char(*p);
        } else if (*p < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", *p);
            out += escaped;
        } else {
            out += char(*p);
        }
    }
    return out + '"';
}

// The signals the program was started with ignored (SigIgn, in hex).
std::string ignoredSignals()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigIgn:", 0) == 0)
            return line.substr(line.find_first_not_of(" \t", 7));
    }
    return "";
}

// The descriptors the program was started with, each with what it names
// (/proc/self/fd), as a JSON object.
std::string descriptors()
{
    std::string out = "{";
    DIR *folder = ::opendir("/proc/self/fd");
    while (dirent *entry = folder ? ::readdir(folder) : nullptr) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == ::dirfd(folder))
            continue;
        char target[4096] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        (void)!::readlink(link.c_str(), target, sizeof target - 1);
        out += (out.size() > 1 ? "," : "") + jsonString(entry->d_name) + ":" + jsonString(target);
    }
    if (folder)
        ::closedir(folder);
    return out + "}";
}

} // namespace

int main(int argc, char **argv)
{
    const std::string started = descriptors();
    std::string line = "{\"pid\":" + std::to_string(::getpid())
        + ",\"program\":" + jsonString(argv[0]) + ",\"arguments\":[";
    for (int i = 1; i < argc; ++i)
        line += (i > 1 ? "," : "") + jsonString(argv[i]);
    struct stat output = {};
    const bool outputIsPipe = ::fstat(STDOUT_FILENO, &output) == 0 && S_ISFIFO(output.st_mode);
    line += "],\"ignoredSignals\":" + jsonString(ignoredSignals().c_str()) + ",\"outputIsPipe\":"
        + (outputIsPipe ? "true" : "false") + ",\"descriptors\":" + started + "}\n";
    if (const char *log = std::getenv("QUILLMONT_REQUEST_LOG")) {
        // One write with O_APPEND: lines from programs started together never interleave.
        const int fd = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            (void)!::write(fd, line.data(), line.size());
            ::close(fd);
        }
    }
    if (std::getenv("QUILLMONT_STAY_RUNNING")) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGTERM);
        sigprocmask(SIG_BLOCK, &set, nullptr);
        int signal = 0;
        sigwait(&set, &signal);
    }
    return 0;
}
