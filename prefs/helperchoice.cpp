#include "prefs/helperchoice.h"

#include "host/hostproduct.h"
#include "platform/systemlog.h"

#include <cmath>

namespace {

using namespace HelperPreferenceKeys;

QString key(const char16_t *name)
{
    return QString::fromUtf16(name);
}

// The integer a stored value stands for, as a number reader of the
// preferences would take it: numbers truncated, booleans 0 or 1, text by its
// leading decimal digits, anything else 0.
qint64 integerValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Double: {
        const double number = value.toDouble();
        return std::isfinite(number) && std::abs(number) < 9.2e18 ? qint64(number) : 0;
    }
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        qsizetype end = 0;
        if (end < text.size() && (text[end] == u'+' || text[end] == u'-'))
            ++end;
        while (end < text.size() && text[end] >= u'0' && text[end] <= u'9')
            ++end;
        return text.left(end).toLongLong(); // 0 when nothing numeric leads
    }
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toLongLong();
    default:
        return 0;
    }
}

} // namespace

std::optional<QString> textValue(const QVariantMap &dictionary, const QString &key)
{
    const QVariant value = dictionary.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::vector<HostApplicationRecord> hostApplications()
{
    std::vector<HostApplicationRecord> records;
    for (const QString &edition : HostProduct::editionNames())
        records.push_back(
            { HostProduct::bundleIdentifier(edition), HostProduct::identifyingURLScheme(edition) });
    return records;
}

StoredChoice storedChoiceFromDomain(const HostApplicationRecord &record, const QVariantMap &domain)
{
    StoredChoice choice { record, integerValue(domain.value(key(kAutoLaunch))), {} };
    // An empty identifier names nothing: the record's own target, scheme
    // included, whatever scheme is stored.
    if (const auto appID = textValue(domain, key(kAutoLaunchAppID)); appID && !appID->isEmpty())
        choice.target = { appID, textValue(domain, key(kAutoLaunchAppIdentifyingURLScheme)) };
    else
        choice.target = { record.bundleID, record.identifyingURLScheme };
    return choice;
}

std::optional<StoredChoice> readStoredChoice(UserDefaults &defaults)
{
    for (const HostApplicationRecord &record : hostApplications()) {
        if (const auto domain = defaults.persistentDomainForName(record.bundleID))
            return storedChoiceFromDomain(record, *domain);
    }
    return std::nullopt;
}

bool storeChoiceForAllInstalls(UserDefaults &defaults, qint64 autoLaunch, const QString &appID,
                               const std::optional<QString> &scheme)
{
    bool allStored = true;
    for (const HostApplicationRecord &record : hostApplications()) {
        bool exists = false;
        // One step, so that a host writing its own keys meanwhile keeps them.
        const bool stored = defaults.updatePersistentDomain(
            record.bundleID, [&](std::optional<QVariantMap> domain) -> std::optional<QVariantMap> {
                if (!domain)
                    return std::nullopt; // the host makes its domain; we never do
                exists = true;
                domain->insert(key(kAutoLaunch), autoLaunch);
                domain->insert(key(kAutoLaunchAppID), appID);
                if (scheme)
                    domain->insert(key(kAutoLaunchAppIdentifyingURLScheme), *scheme);
                else
                    domain->remove(key(kAutoLaunchAppIdentifyingURLScheme));
                return domain;
            });
        defaults.synchronize();
        // The user asked for this choice to be remembered: not storing it is
        // worth a line.
        if (exists && !stored) {
            systemLog(QStringLiteral("Could not store the installer disc preferences in %1.")
                          .arg(record.bundleID));
            allStored = false;
        }
    }
    return allStored;
}

bool isUnrecognisedDisc(const DiscIdentifier &identifier)
{
    return !identifier
        || identifier->compare(QString::fromUtf16(HostProduct::kUnrecognisedDisc),
                               Qt::CaseInsensitive)
        == 0;
}

Verdict decide(const StoredChoice &choice, const DiscIdentifier &identifier)
{
    if (choice.autoLaunch == qint64(AutoLaunch::OpenAtOnce) && !isUnrecognisedDisc(identifier))
        return { Verdict::Action::Launch, choice.target };
    if (choice.autoLaunch == qint64(AutoLaunch::Ignore))
        return { Verdict::Action::Ignore, {} };
    return { Verdict::Action::Prompt, choice.target };
}
