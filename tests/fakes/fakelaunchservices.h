// A registry that tests fill, recording every request made of it; given the
// real one, it answers from that instead.
#pragma once

#include "platform/launchservices.h"

#include <QHash>

#include <memory>
#include <vector>

class FakeLaunchServices final : public LaunchServices
{
public:
    explicit FakeLaunchServices(std::unique_ptr<LaunchServices> real = nullptr)
        : m_real(std::move(real))
    { }

    QHash<QString, QStringList> handlers; // scheme -> bundle paths
    QHash<QString, QString> bundlesByIdentifier; // identifier -> bundle path
    int openStatus = 0;

    int schemeQueries = 0;
    std::vector<LaunchURLSpec> openRequests;

    std::optional<QStringList> applicationURLsForURL(const QString &url) override
    {
        ++schemeQueries;
        if (m_real)
            return m_real->applicationURLsForURL(url);
        const auto it = handlers.constFind(url.section(u':', 0, 0));
        if (it == handlers.constEnd() || it->isEmpty())
            return std::nullopt;
        return *it;
    }
    std::optional<QString>
    absolutePathForAppBundleWithIdentifier(const QString &identifier) override
    {
        if (m_real)
            return m_real->absolutePathForAppBundleWithIdentifier(identifier);
        const auto it = bundlesByIdentifier.constFind(identifier);
        return it == bundlesByIdentifier.constEnd() ? std::nullopt : std::optional(*it);
    }
    int openFromURLSpec(const LaunchURLSpec &spec) override
    {
        openRequests.push_back(spec);
        return m_real ? m_real->openFromURLSpec(spec) : openStatus;
    }
    bool registerApplication(const QString &bundlePath) override
    {
        registered.push_back(bundlePath);
        return !m_real || m_real->registerApplication(bundlePath);
    }
    bool unregisterApplication(const QString &bundlePath) override
    {
        unregistered.push_back(bundlePath);
        return !m_real || m_real->unregisterApplication(bundlePath);
    }
    std::vector<QString> registered, unregistered;

private:
    std::unique_ptr<LaunchServices> m_real;
};
