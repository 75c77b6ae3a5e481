// Helpers shared by the test executables.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <map>
#include <optional>
#include <ostream>
#include <string>

class QProcess;

// Readable failure messages for Qt values.
void PrintTo(const QString &value, std::ostream *os);
void PrintTo(const QByteArray &value, std::ostream *os);
void PrintTo(const QVariant &value, std::ostream *os);

namespace test {

using SavedEnvironment = std::map<QByteArray, std::optional<QByteArray>>;

// Sets (or, with a null value, unsets) environment variables while it lives.
class ScopedEnvironment
{
public:
    ScopedEnvironment(std::initializer_list<std::pair<const char *, const char *>> variables);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    SavedEnvironment m_saved;
};

// A throw-away home: HOME and the XDG folders point into a temporary folder
// while the object lives, and are restored after.
class TemporaryHome
{
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome &) = delete;
    TemporaryHome &operator=(const TemporaryHome &) = delete;

    QString path() const { return m_dir.path(); }
    QString configHome() const { return path() + QStringLiteral("/.config"); }
    QString preferencesPath() const { return configHome() + QStringLiteral("/preferences"); }
    QString domainPath(const QString &name) const
    {
        return preferencesPath() + u'/' + name + QStringLiteral(".plist");
    }

private:
    QTemporaryDir m_dir;
    SavedEnvironment m_saved;
};

// Path of a file under tests/data.
QString dataPath(const QString &relative);

// Through our own path bytes, so that names that are not UTF-8 survive;
// writing makes parent folders and fails the test on error.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
// The permission bits of 'path' itself (links not followed); ~0u when missing.
uint mode(const QString &path);
void writePropertyList(const QString &path, const QVariant &value);

// Lays out Name.app at 'path' with the given Info.plist values; when they
// name a CFBundleExecutable, an executable shell script is made too.
void makeBundle(const QString &path, const QVariantMap &info);

// Runs 'check' as nobody when the test runs as root, so that file
// permissions apply; as is otherwise. Absent when it could not be run.
std::optional<bool> runUnprivileged(bool (*check)(const QString &), const QString &argument);

// Installs a copy of the test host product with demo/hostproduct/make-host-app
// (its options, less --program) and returns the bundle's path.
QString installHostApp(const QStringList &options);
// One edition into 'applications', registered with the desktop or not.
QString installEdition(const QString &applications, const QString &edition, bool registered);

// The helper as the host carries it: the test host program named
// Quillmont DI Raruru.app in 'folder', not registered.
inline const QString kHelperId = QStringLiteral("com.tallowcraft.quillmont DI raruru");
QString installHelper(const QString &folder, const QString &version = QStringLiteral("1.0"),
                      const QString &identifier = kHelperId);
// Starts a host bundle's program so that it runs until asked to quit.
void startStayingRunning(QProcess &process, const QString &bundle);

// The requests the host program recorded in a log (one JSON object a start),
// waiting up to ten seconds for at least 'count' of them: it runs detached.
QList<QJsonObject> hostRequests(const QString &log, qsizetype count);

// Waits up to five seconds for the process 'pid' to end (gone, or a zombie
// nobody has reaped yet); whether it did.
bool processHasEnded(int pid);

// Moves this process (and later children) into a mount namespace of its own
// whose mounts do not propagate back; an error text, for a skip, otherwise.
std::optional<std::string> enterPrivateMountNamespace();

} // namespace test
