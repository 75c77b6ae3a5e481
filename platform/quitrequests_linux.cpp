// SIGTERM, SIGINT and SIGHUP through the self-pipe pattern: the handler only
// writes a byte (async-signal-safe); a QSocketNotifier on the read end emits
// on the main thread. The old dispositions come back when the notifier goes.
#include "platform/quitrequests.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A hang-up (the terminal or session that started the helper went away)
// ends it as cleanly as a quit request.
constexpr int kSignals[] = { SIGTERM, SIGINT, SIGHUP };

int g_pipe[2] = { -1, -1 };
std::atomic<bool> g_taken { false };
struct sigaction g_previous[std::size(kSignals)] {};

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    (void)!::write(g_pipe[1], &byte, 1); // a full pipe already holds a request
    errno = saved;
}

} // namespace

std::unique_ptr<QuitRequestNotifier> QuitRequestNotifier::create(QObject *parent)
{
    if (g_taken.exchange(true))
        return nullptr;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_taken = false;
        return nullptr;
    }
    std::unique_ptr<QuitRequestNotifier> notifier(new QuitRequestNotifier(parent));
    notifier->m_reader = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, notifier.get());
    QObject::connect(notifier->m_reader, &QSocketNotifier::activated, notifier.get(),
                     [self = notifier.get()] {
                         char buffer[64];
                         while (::read(g_pipe[0], buffer, sizeof buffer) > 0) { }
                         Q_EMIT self->quitRequested();
                     });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
    return notifier;
}

QuitRequestNotifier::QuitRequestNotifier(QObject *parent)
    : QObject(parent)
{ }

QuitRequestNotifier::~QuitRequestNotifier()
{
    delete m_reader; // before its descriptor goes
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
    g_taken = false;
}
