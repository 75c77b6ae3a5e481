#include "tests/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace test {

QString dataPath(const QString &relative)
{
    return QStringLiteral(RARURU_TEST_DATA "/") + relative;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
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
        const QByteArray key(name);
        m_saved[key] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
        const QString value = m_dir.path() + QLatin1String(suffix);
        QDir().mkpath(value);
        qputenv(name, QFile::encodeName(value));
    }
    QFile::setPermissions(m_dir.path() + QStringLiteral("/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TemporaryHome::~TemporaryHome()
{
    for (const auto &[name, value] : m_saved) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
}

QString TemporaryHome::configHome() const
{
    return m_dir.path() + QStringLiteral("/.config");
}

QString TemporaryHome::preferencesPath() const
{
    return configHome() + QStringLiteral("/preferences");
}

} // namespace test
