// The real registry, counting what is asked of it.
#pragma once

#include "platform/launchservices.h"

#include <memory>

class CountingLaunchServices final : public LaunchServices
{
public:
    explicit CountingLaunchServices(std::unique_ptr<LaunchServices> real = LaunchServices::create())
        : m_real(std::move(real))
    { }
    std::optional<QStringList> applicationURLsForURL(const QString &url) override
    {
        ++schemeQueries;
        return m_real->applicationURLsForURL(url);
    }
    std::optional<QString>
    absolutePathForAppBundleWithIdentifier(const QString &identifier) override
    {
        return m_real->absolutePathForAppBundleWithIdentifier(identifier);
    }
    int openFromURLSpec(const LaunchURLSpec &spec) override
    {
        ++openRequests;
        return m_real->openFromURLSpec(spec);
    }
    bool registerApplication(const QString &bundlePath) override
    {
        return m_real->registerApplication(bundlePath);
    }
    bool unregisterApplication(const QString &bundlePath) override
    {
        return m_real->unregisterApplication(bundlePath);
    }
    int schemeQueries = 0;
    int openRequests = 0;

private:
    std::unique_ptr<LaunchServices> m_real;
};
