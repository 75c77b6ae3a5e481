#include "platform/fileio_p.h"

#include "platform/filesystemrepresentation.h"
#include "platform/retryoneintr_p.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxSize)
{
    const std::optional<QByteArray> name = fileSystemRepresentation(path);
    if (!name)
        return std::nullopt;
    const int fd = ::open(name->constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> result;
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maxSize) {
        // One byte more than expected tells a file that grew while being read.
        QByteArray bytes(qsizetype(info.st_size) + 1, Qt::Uninitialized);
        qsizetype filled = 0;
        for (;;) {
            const ssize_t n = retryOnEintr(
                [&] { return ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled)); });
            if (n <= 0)
                break;
            filled += n;
            if (filled == bytes.size())
                break;
        }
        if (filled == qsizetype(info.st_size)) {
            bytes.truncate(filled);
            result = std::move(bytes);
        }
    }
    ::close(fd);
    return result;
}

bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = retryOnEintr([&] { return ::write(fd, data, size_t(size)); });
        if (n < 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool makeFolders(const QByteArray &path, unsigned mode)
{
    if (::mkdir(path.constData(), mode) == 0)
        return true;
    struct stat st;
    if (errno == EEXIST)
        return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    if (errno != ENOENT)
        return false;
    const qsizetype slash = path.lastIndexOf('/');
    return slash > 0 && makeFolders(path.left(slash), mode) && ::mkdir(path.constData(), mode) == 0;
}
