// Reports file systems mounted after start(), and their going. Signals arrive on the thread
// that owns the monitor (the main thread in the helper).
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class MountMonitor : public QObject
{
    Q_OBJECT
public:
    // Where the table of mounts is read from after each change.
    enum class TableSource {
        Best, // listmount(2) and statmount(2) when the kernel has them, else MountInfoText
        MountInfoText, // always /proc/self/mountinfo
    };

    ~MountMonitor() override;
    MountMonitor(const MountMonitor &) = delete;
    MountMonitor &operator=(const MountMonitor &) = delete;

    // A monitor of the calling process's mount namespace; it reports
    // nothing before start(). The pointer owns it: a parent, when given,
    // must outlive the pointer.
    [[nodiscard]] static std::unique_ptr<MountMonitor>
    create(TableSource source = TableSource::Best, QObject *parent = nullptr);

    // Reads the current table (none of it is reported) and starts listening.
    // False when /proc/self/mountinfo cannot be opened or read. Call it once.
    [[nodiscard]] virtual bool start() = 0;

    // How often the table was read after a change since start(): one read
    // per wake-up, however many mounts changed (for diagnostics).
    [[nodiscard]] virtual quint64 tableReads() const { return 0; }

Q_SIGNALS:
    // Once for each new mount that is not a pseudo file system (proc, sysfs,
    // ...), in table order; 'mountPoint' carries the path's bytes as
    // stringWithFileSystemRepresentation() makes them.
    void didMount(const QString &mountPoint);
    // Once a point has lost the last mount reported on it by didMount,
    // before the mounts that came in the same change (a volume replaced at
    // the same point goes before its successor comes); 'mountPoint' is the
    // text didMount gave. While one mount stacked on another is the one that
    // goes, the point keeps a volume and nothing is reported. Mounts that
    // were never reported are never reported gone.
    void didUnmount(const QString &mountPoint);

protected:
    explicit MountMonitor(QObject *parent = nullptr);
};
