#include "platform/workspace.h"

#include "platform/filemanager.h"

namespace {

// Owns the real services for a workspace made by create().
class OwningWorkspace final : public Workspace
{
public:
    OwningWorkspace(std::unique_ptr<ProcessList> processList,
                    std::unique_ptr<LaunchServices> launchServices)
        : Workspace(*processList, *launchServices)
        , m_processListOwner(std::move(processList))
        , m_launchServicesOwner(std::move(launchServices))
    { }

private:
    std::unique_ptr<ProcessList> m_processListOwner;
    std::unique_ptr<LaunchServices> m_launchServicesOwner;
};

} // namespace

std::unique_ptr<Workspace> Workspace::create()
{
    return std::make_unique<OwningWorkspace>(ProcessList::create(), LaunchServices::create());
}

std::optional<QString> Workspace::getInfoForFile(const QString &path)
{
    const auto attributes = FileManager::defaultManager().fileAttributesAtPath(path, true);
    if (!attributes)
        return std::nullopt;
    switch (attributes->type) {
    case FileAttributes::Type::Regular: {
        const QString name = path.mid(path.lastIndexOf(u'/') + 1);
        const qsizetype dot = name.lastIndexOf(u'.');
        return dot > 0 ? name.mid(dot + 1) : QString();
    }
    case FileAttributes::Type::Directory:
        return QStringLiteral("folder");
    default:
        return QStringLiteral("other");
    }
}
