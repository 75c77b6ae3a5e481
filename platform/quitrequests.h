// The receiving side of quit requests: they arrive as SIGTERM (SIGINT from a
// terminal, SIGHUP when the session that started the helper hangs up), and
// are turned into a signal on the main thread so that the event loop can end
// normally.
#pragma once

#include <QObject>

#include <memory>

class QuitRequestNotifier : public QObject
{
    Q_OBJECT
public:
    // Takes over SIGTERM, SIGINT and SIGHUP for the process; only one may exist.
    // Null when the signals cannot be taken over.
    [[nodiscard]] static std::unique_ptr<QuitRequestNotifier> create(QObject *parent = nullptr);
    ~QuitRequestNotifier() override;

Q_SIGNALS:
    // Emitted on the thread that made the notifier, once per burst of signals.
    void quitRequested();

private:
    explicit QuitRequestNotifier(QObject *parent);

    class QSocketNotifier *m_reader = nullptr;
};
