// The desktop entries application bundles carry, registered in the user's
// applications folder (what LaunchServices::registerApplication does).
#pragma once

#include <QString>

namespace ApplicationEntries {

bool registerBundle(const QString &bundlePath);
bool unregisterBundle(const QString &bundlePath);

} // namespace ApplicationEntries
