// A registry that tests fill, recording every request made of it.
#pragma once

#include "platform/launchservices.h"

#include <QHash>

#include <vector>

class FakeLaunchServices final : public LaunchServices
{
public:
    QHash<QString, QStringList> handlers; // scheme -> bundle paths
    QHash<QString, QString> bundlesByIdentifier; // identifier -> bundle path
    int openStatus = 0;

    int schemeQueries = 0;
    std::vector<LaunchURLSpec> openRequests;

    std::optional<QStringList> applicationURLsForURL(const QString &url) override
    {
        ++schemeQueries;
        const auto it = handlers.constFind(url.section(u':', 0, 0));
        if (it == handlers.constEnd() || it->isEmpty())
            return std::nullopt;
        return *it;
    }
    std::optional<QString>
    absolutePathForAppBundleWithIdentifier(const QString &identifier) override
    {
        const auto it = bundlesByIdentifier.constFind(identifier);
        return it == bundlesByIdentifier.constEnd() ? std::nullopt : std::optional(*it);
    }
    int openFromURLSpec(const LaunchURLSpec &spec) override
    {
        openRequests.push_back(spec);
        return openStatus;
    }
    bool registerApplication(const QString &bundlePath) override
    {
        registered.push_back(bundlePath);
        return true;
    }
    bool unregisterApplication(const QString &bundlePath) override
    {
        unregistered.push_back(bundlePath);
        return true;
    }
    std::vector<QString> registered, unregistered;
};
