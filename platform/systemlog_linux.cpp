// syslog(3) with facility LOG_USER, as any desktop program's messages; the
// same text goes to standard error, which a session manager usually keeps
// in the user's journal too.
#include "platform/systemlog.h"

#include "platform/retryoneintr_p.h"

#include <QByteArray>

#include <cerrno>
#include <syslog.h>
#include <unistd.h>

void systemLog(const QString &message)
{
    QByteArray bytes = message.toUtf8();
    ::syslog(LOG_USER | LOG_ERR, "%s", bytes.constData());
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    // Not through stdio: the line must be out before the process ends,
    // whatever buffering stdio was given.
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = retryOnEintr([&] {
            return ::write(STDERR_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
        });
        if (n <= 0)
            break;
        done += n;
    }
}
