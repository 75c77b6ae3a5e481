#include "platform/userdefaults.h"

UserDefaults::~UserDefaults() = default;

bool UserDefaults::updatePersistentDomain(const QString &name, const DomainChange &change)
{
    const auto changed = change(persistentDomainForName(name));
    return changed && setPersistentDomain(*changed, name);
}
