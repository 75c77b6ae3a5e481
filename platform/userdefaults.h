// Preferences domains: named dictionaries of property-list values that
// applications keep for the user.
#pragma once

#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class UserDefaults
{
public:
    virtual ~UserDefaults();
    UserDefaults(const UserDefaults &) = delete;
    UserDefaults &operator=(const UserDefaults &) = delete;

    // How long an update waits for other updaters before it goes ahead.
    static constexpr std::chrono::milliseconds kUpdateLockWait { 5000 };

    // The user's store on this system, located from the environment now.
    [[nodiscard]] static std::unique_ptr<UserDefaults>
    create(std::chrono::milliseconds updateLockWait = kUpdateLockWait);

    // The whole domain as it is stored now; absent when there is no such
    // domain, or when what is stored cannot be read as a dictionary.
    [[nodiscard]] virtual std::optional<QVariantMap> persistentDomainForName(const QString &name)
        = 0;
    // Replaces the domain, whole. Refused (false) when the name is not a
    // plain name, when a value cannot be stored, or when the stored domain
    // exists but cannot be read: what we cannot read we must not overwrite.
    virtual bool setPersistentDomain(const QVariantMap &domain, const QString &name) = 0;
    // Makes changes durable and takes in other processes' changes.
    virtual bool synchronize() = 0;

    // Reads the domain, lets 'change' make the new one from it (absent: the
    // domain is not there; returning absent stores nothing) and stores that,
    // as one step: updaters using this call in other processes wait for it,
    // so none loses another's keys. An updater that does not finish within
    // the wait given to create() is not waited for longer: the update is made
    // all the same (and the system log says so), as a stored choice must not
    // be lost. False when nothing was stored or the store was refused.
    using DomainChange = std::function<std::optional<QVariantMap>(std::optional<QVariantMap>)>;
    virtual bool updatePersistentDomain(const QString &name, const DomainChange &change);

protected:
    UserDefaults() = default;
};
