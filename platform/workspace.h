// The workspace: the desktop services the helper works with, in one object
// that the helper's classes are given (tests give one made of fakes).
#pragma once

#include "platform/launchservices.h"
#include "platform/processlist.h"

#include <memory>

class Workspace
{
public:
    // The real services of this desktop session.
    [[nodiscard]] static std::unique_ptr<Workspace> create();
    // A workspace of the given services, which must outlive it.
    Workspace(ProcessList &processList, LaunchServices &launchServices)
        : m_processList(processList)
        , m_launchServices(launchServices)
    { }
    virtual ~Workspace() = default;
    Workspace(const Workspace &) = delete;
    Workspace &operator=(const Workspace &) = delete;

    ProcessList &processList() const { return m_processList; }
    LaunchServices &launchServices() const { return m_launchServices; }

    // The registry's bundle for a bundle identifier, or absent.
    [[nodiscard]] std::optional<QString>
    absolutePathForAppBundleWithIdentifier(const QString &identifier) const
    {
        return m_launchServices.absolutePathForAppBundleWithIdentifier(identifier);
    }

    // The type of a path: a plain file's name extension (empty without one);
    // "folder" for a directory or mount point, "other" for anything else.
    // Absent when nothing is at the path.
    [[nodiscard]] static std::optional<QString> getInfoForFile(const QString &path);

private:
    ProcessList &m_processList;
    LaunchServices &m_launchServices;
};
