// Helpers shared by the test executables.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <optional>
#include <string>

namespace test {

// Path of a file under tests/data.
QString dataPath(const QString &relative);

// Writes bytes to a file (creating parent folders); fails the test on error.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

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
    QString configHome() const; // $XDG_CONFIG_HOME
    QString preferencesPath() const; // where preferences domains live

private:
    QTemporaryDir m_dir;
    std::map<QByteArray, std::optional<QByteArray>> m_saved;
};

} // namespace test

namespace test {

// Runs 'check' as an unprivileged user (nobody) when the test runs as root,
// so that file permissions apply; as is otherwise. Its answer, or absent
// when it could not be run.
std::optional<bool> runUnprivileged(bool (*check)(const QString &), const QString &argument);

} // namespace test

// Readable failure messages for Qt values.
#include <QVariant>
#include <ostream>
void PrintTo(const QString &value, std::ostream *os);
void PrintTo(const QStringList &value, std::ostream *os);
void PrintTo(const QByteArray &value, std::ostream *os);
void PrintTo(const QVariant &value, std::ostream *os);

namespace test {

// Writes a value as an XML property list; fails the test when it cannot.
void writePropertyList(const QString &path, const QVariant &value);

// Lays out Name.app at 'path' with the given Info.plist values; when the
// values name a CFBundleExecutable, an executable shell script is made too.
void makeBundle(const QString &path, const QVariantMap &info);

} // namespace test

namespace test {

// Sets (or, with a null value, unsets) environment variables while it lives.
class ScopedEnvironment
{
public:
    ScopedEnvironment(std::initializer_list<std::pair<const char *, const char *>> variables);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    std::map<QByteArray, std::optional<QByteArray>> m_saved;
};

} // namespace test

#include <QJsonObject>

namespace test {

// Installs a copy of the test host product with demo/hostproduct/make-host-app
// (its options, less --program) and returns the bundle's path.
QString installHostApp(const QStringList &options);

// The requests the host program recorded in a log (one JSON object a start),
// waiting up to ten seconds for at least 'count' of them: it runs detached.
QList<QJsonObject> hostRequests(const QString &log, qsizetype count);

} // namespace test

namespace test {

// Moves the calling process (and the children it starts later) into a mount
// namespace of its own whose mounts do not propagate back. An error text when
// the system does not allow it (not root, no user namespaces), for a skip.
std::optional<std::string> enterPrivateMountNamespace();

} // namespace test
