// A NUL-terminated argument vector for exec and posix_spawn, made before a
// fork so that the child only reads it.
#pragma once

#include <QByteArray>
#include <QList>

#include <vector>

class ArgumentVector
{
public:
    ArgumentVector(const QByteArray &program, const QList<QByteArray> &arguments)
        : m_storage { program }
    {
        m_storage.insert(m_storage.end(), arguments.begin(), arguments.end());
        m_argv.reserve(m_storage.size() + 1);
        for (QByteArray &item : m_storage)
            m_argv.push_back(item.data());
        m_argv.push_back(nullptr);
    }
    ArgumentVector(const ArgumentVector &) = delete;
    ArgumentVector &operator=(const ArgumentVector &) = delete;

    char *const *data() const { return m_argv.data(); }
    const char *program() const { return m_argv.front(); }

private:
    std::vector<QByteArray> m_storage;
    std::vector<char *> m_argv;
};
