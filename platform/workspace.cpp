#include "platform/workspace.h"

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
