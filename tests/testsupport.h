// Helpers shared by the test executables.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <optional>

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
    QString configHome() const;    // $XDG_CONFIG_HOME
    QString preferencesPath() const; // where preferences domains live

private:
    QTemporaryDir m_dir;
    std::map<QByteArray, std::optional<QByteArray>> m_saved;
};

} // namespace test
