#include "tests/testsupport.h"

#include "platform/filesystemrepresentation.h"
#include "platform/propertylist.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

void PrintTo(const QString &value, std::ostream *os)
{
    *os << '"' << value.toStdString() << '"';
}

void PrintTo(const QByteArray &value, std::ostream *os)
{
    *os << '"' << value.toPercentEncoding(" /").toStdString() << '"';
}

void PrintTo(const QVariant &value, std::ostream *os)
{
    QString text;
    QDebug(&text) << value;
    *os << text.toStdString();
}

namespace test {

namespace {

void setVariable(SavedEnvironment &saved, const char *name, const char *value)
{
    saved.emplace(name,
                  qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    if (value)
        qputenv(name, value);
    else
        qunsetenv(name);
}

void restore(const SavedEnvironment &saved)
{
    for (const auto &[name, value] : saved) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
}

} // namespace

ScopedEnvironment::ScopedEnvironment(
    std::initializer_list<std::pair<const char *, const char *>> variables)
{
    for (const auto &[name, value] : variables)
        setVariable(m_saved, name, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    restore(m_saved);
}

TemporaryHome::TemporaryHome()
{
    const std::pair<const char *, const char *> vars[] = {
        { "HOME", "" },
        { "XDG_CONFIG_HOME", "/.config" },
        { "XDG_DATA_HOME", "/.local/share" },
        { "XDG_CACHE_HOME", "/.cache" },
        { "XDG_RUNTIME_DIR", "/run" },
        { "TMPDIR", "/tmp" },
    };
    for (const auto &[name, suffix] : vars) {
        const QString value = path() + QLatin1String(suffix);
        QDir().mkpath(value);
        setVariable(m_saved, name, QFile::encodeName(value).constData());
    }
    QFile::setPermissions(path() + u"/run"_s,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TemporaryHome::~TemporaryHome()
{
    restore(m_saved);
}

QString dataPath(const QString &relative)
{
    return QStringLiteral(RARURU_TEST_DATA "/") + relative;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    const auto name = fileSystemRepresentation(path);
    ASSERT_TRUE(name.has_value()) << "no byte form";
    for (qsizetype slash = name->indexOf('/', 1); slash > 0; slash = name->indexOf('/', slash + 1))
        ::mkdir(name->left(slash).constData(), 0755);
    const int fd = ::open(name->constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << name->constData();
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    ::close(fd);
    ASSERT_EQ(written, bytes.size());
}

QByteArray readFile(const QString &path)
{
    const auto name = fileSystemRepresentation(path);
    const int fd = name ? ::open(name->constData(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0)
        return {};
    QByteArray contents;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        contents.append(buffer, n);
    ::close(fd);
    return contents;
}

uint mode(const QString &path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : ~0u;
}

void writePropertyList(const QString &path, const QVariant &value)
{
    const auto xml = PropertyList::toXmlData(value);
    ASSERT_TRUE(xml.has_value());
    writeFile(path, *xml);
}

void makeBundle(const QString &path, const QVariantMap &info)
{
    writePropertyList(path + u"/Contents/Info.plist"_s, info);
    const QString executable = info.value(u"CFBundleExecutable"_s).toString();
    if (!executable.isEmpty()) {
        const QString program = path + u"/Contents/MacOS/"_s + executable;
        writeFile(program, "#!/bin/sh\nexit 0\n");
        ::chmod(fileSystemRepresentation(program)->constData(), 0755);
    }
}

std::optional<bool> runUnprivileged(bool (*check)(const QString &), const QString &argument)
{
    if (::geteuid() != 0)
        return check(argument);
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        const gid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(2);
        ::_exit(check(argument) ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return std::nullopt;
    return WEXITSTATUS(status) == 0;
}

QString installHostApp(const QStringList &options)
{
    QProcess script;
    script.start(QStringLiteral(RARURU_MAKE_HOST_APP),
                 QStringList { u"--program"_s, QStringLiteral(RARURU_HOST_PROGRAM) } + options);
    if (!script.waitForFinished(60000) || script.exitCode() != 0) {
        ADD_FAILURE() << "make-host-app failed: " << script.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(script.readAllStandardOutput()).trimmed();
}

QString installEdition(const QString &applications, const QString &edition, bool registered)
{
    return installHostApp(QStringList { u"--applications"_s, applications, u"--edition"_s, edition }
                          + (registered ? QStringList() : QStringList { u"--no-register"_s }));
}

QString installHelper(const QString &folder, const QString &version, const QString &identifier)
{
    return installHostApp({ u"--applications"_s, folder, u"--name"_s, u"Quillmont DI Raruru.app"_s,
                            u"--identifier"_s, identifier, u"--version"_s, version,
                            u"--no-register"_s });
}

void startStayingRunning(QProcess &process, const QString &bundle)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"QUILLMONT_REQUEST_LOG"_s);
    environment.insert(u"QUILLMONT_STAY_RUNNING"_s, u"1"_s);
    process.setProcessEnvironment(environment);
    process.start(bundle + u"/Contents/MacOS/Quillmont"_s, {});
    ASSERT_TRUE(process.waitForStarted());
}

QList<QJsonObject> hostRequests(const QString &log, qsizetype count)
{
    QList<QJsonObject> requests;
    const QDeadlineTimer deadline(10000);
    do {
        requests.clear();
        for (const QByteArray &line : readFile(log).split('\n')) {
            if (!line.isEmpty())
                requests += QJsonDocument::fromJson(line).object();
        }
        if (requests.size() >= count)
            break;
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    return requests;
}

std::optional<std::string> enterPrivateMountNamespace()
{
    if (::unshare(CLONE_NEWNS) != 0
        || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return std::string("needs a private mount namespace (root, or user namespaces): ")
            + std::strerror(errno);
    }
    return std::nullopt;
}

bool processHasEnded(int pid)
{
    const auto ended = [pid] {
        QFile stat(u"/proc/%1/stat"_s.arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return true;
        const QByteArray fields = stat.readAll();
        return fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
    };
    return QTest::qWaitFor(ended, 5000);
}

} // namespace test
