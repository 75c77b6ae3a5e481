// One running instance of an application per user session, as a desktop
// gives it: a start that finds the instance running hands its open-file
// requests to it and ends. The instance is keyed by the bundle identifier
// and lives in a private per-user folder (see docs/host-integration.md).
#pragma once

#include <QObject>
#include <QStringList>

#include <chrono>
#include <memory>

class SessionInstance : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        Claimed, // this process is the session's instance
        HandedOver, // another instance took the requests: this start ends
        Unavailable, // no private folder to meet in: run unguarded
    };
    struct Claim
    {
        Outcome outcome;
        std::unique_ptr<SessionInstance> instance; // only when Claimed
    };

    // Becomes the instance named 'key' in 'folder', takes over a claim that
    // the program which started this one passed on, or hands 'requests' to
    // the instance that runs. A running instance that does not answer within
    // 'patience' is taken as gone only once its claim is free; until then
    // this start keeps trying, then gives up (HandedOver, with a log line).
    // Needs no event loop.
    [[nodiscard]] static Claim claim(const QString &folder, const QString &key,
                                     const QStringList &requests,
                                     std::chrono::milliseconds patience = std::chrono::seconds(10));
    ~SessionInstance() override;

    // Starts answering other starts (needs the thread's event loop); does
    // nothing once the claim has been passed on. Every request they hand
    // over arrives as openFileRequested, each start's in its order.
    void listen();
    // Stops answering: an instance that is about to end must not take
    // requests it will never serve; later starts wait for the claim instead.
    void stopListening();

    // Lets the next program this process starts detached take the claim
    // over (as its descriptor 3, named in the environment); this process must end soon after,
    // and no other program may be started in between.
    [[nodiscard]] bool passToNextProgram();

Q_SIGNALS:
    void openFileRequested(const QString &path);

private:
    SessionInstance(int lock, int folder, QByteArray socketName);
    void accept();

    int m_lock;
    int m_folder;
    QByteArray m_socketName;
    int m_listener = -1;
    bool m_passed = false;
    int m_connections = 0; // other starts' connections being served
    class QSocketNotifier *m_listenerNotifier = nullptr;
};
