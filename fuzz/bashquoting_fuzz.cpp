// stringQuotedForBash() against a real bash. The input bytes stand for the
// path text they make (bytes that are not UTF-8 become escape surrogates, as
// for any file name); that text, quoted, must be read back by bash as exactly
// one word holding exactly those bytes. An input with a NUL is skipped: its
// text has no byte form, and no bash word can hold a NUL.
//
// One bash serves the whole run, as a co-process: it reads each quoted text
// as a line of \xHH escapes (bash's `read` drops a \x01 that follows an
// incomplete UTF-8 sequence), evaluates it as the arguments of `set --`, and
// writes back the argument count and each argument, NUL-terminated. It runs
// restricted, with an empty environment and a PATH that leads nowhere, so a
// quoting fault the fuzzer finds cannot start programs or write files.
#include "fuzz/fuzzsupport.h"
#include "platform/filesystemrepresentation.h"
#include "util/stringadditions.h"

#include <QList>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char kLoop[] = "while IFS= read -r line; do\n"
                         "    printf -v quoted %b \"$line\"\n"
                         "    set --\n"
                         "    eval \"set -- $quoted\"\n"
                         "    printf '%s\\0' \"$#\" \"$@\"\n"
                         "done\n";

class Bash
{
public:
    Bash()
    {
        // A bash that dies must fail the input, not kill the run without a word.
        std::signal(SIGPIPE, SIG_IGN);
        int toBash[2], fromBash[2];
        if (::pipe2(toBash, O_CLOEXEC) != 0 || ::pipe2(fromBash, O_CLOEXEC) != 0)
            fuzz::fail("pipe2", __FILE__, __LINE__, {});
        const pid_t pid = ::fork();
        if (pid < 0)
            fuzz::fail("fork", __FILE__, __LINE__, {});
        if (pid == 0) {
            ::dup2(toBash[0], STDIN_FILENO);
            ::dup2(fromBash[1], STDOUT_FILENO);
            const char *argv[] = { "bash", "--noprofile", "--norc", "-r", "-c", kLoop, nullptr };
            const char *envp[] = { "PATH=/nonexistent", "LC_ALL=C.UTF-8", nullptr };
            ::execve("/bin/bash", const_cast<char **>(argv), const_cast<char **>(envp));
            ::_exit(127);
        }
        ::close(toBash[0]);
        ::close(fromBash[1]);
        m_in = toBash[1];
        m_out = fromBash[0];
    }

    // The words bash makes of 'quoted'.
    QList<QByteArray> words(const QByteArray &quoted)
    {
        QByteArray line;
        for (const char c : quoted)
            line += "\\x" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        line += '\n';
        for (qsizetype done = 0; done < line.size();) {
            const ssize_t n = ::write(m_in, line.constData() + done, size_t(line.size() - done));
            if (n < 0 && errno != EINTR)
                fuzz::fail("bash takes the quoted text", __FILE__, __LINE__, quoted);
            done += n > 0 ? n : 0;
        }
        const qsizetype count = field().toLongLong();
        QList<QByteArray> result;
        for (qsizetype i = 0; i < count; ++i)
            result.append(field());
        return result;
    }

private:
    QByteArray field()
    {
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\0');
            if (end >= 0) {
                QByteArray value = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                return value;
            }
            char chunk[4096];
            const ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n == 0 || (n < 0 && errno != EINTR))
                fuzz::fail("bash answers", __FILE__, __LINE__, "bash has quit");
            if (n > 0)
                m_buffer.append(chunk, n);
        }
    }

    int m_in = -1;
    int m_out = -1;
    QByteArray m_buffer;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Bash bash;
    const QByteArray original = fuzz::bytes(data, size);
    const QString quoted = stringQuotedForBash(
        stringWithFileSystemRepresentation(original.constData(), original.size()));
    const std::optional<QByteArray> script = fileSystemRepresentation(quoted);
    if (!script) {
        FUZZ_CHECK(original.contains('\0'), "no byte form: " + fuzz::printable(quoted));
        return 0;
    }
    const QList<QByteArray> words = bash.words(*script);
    QByteArray got;
    for (const QByteArray &word : words)
        got += '[' + fuzz::printable(word) + "] ";
    FUZZ_CHECK(words.size() == 1 && words.front() == original,
               "quoted " + fuzz::printable(*script) + "\nwant [" + fuzz::printable(original)
                   + "]\ngot  " + got);
    return 0;
}
