// The helper's own vocabulary, in one place: the host applications it helps,
// the choice a user stored for installer discs, and the verdict that choice
// gives for one disc. The dictionaries host products and the prompt see are
// made from these at their edges (CDTools, the prompt's list).
#pragma once

#include "platform/userdefaults.h"

#include <QString>
#include <QVariantMap>

#include <optional>
#include <vector>

// One edition of the host product. Its bundle identifier also names its
// preferences domain.
struct HostApplicationRecord
{
    QString bundleID;
    QString identifyingURLScheme;

    friend bool operator==(const HostApplicationRecord &, const HostApplicationRecord &) = default;
};

// The host applications, main edition first.
[[nodiscard]] std::vector<HostApplicationRecord> hostApplications();

// The stored "AutoLaunch" values that mean something; any other value, or
// none, asks the user.
enum class AutoLaunch : qint64 { OpenAtOnce = 1, Ignore = 2 };

// The host application a volume is opened with: a bundle identifier and a URL
// scheme, either of which may be absent.
struct LaunchTarget
{
    std::optional<QString> appID;
    std::optional<QString> scheme;

    friend bool operator==(const LaunchTarget &, const LaunchTarget &) = default;
};

// The choice that counts for the next disc: that of the first host
// application whose preferences domain exists.
struct StoredChoice
{
    HostApplicationRecord record; // whose domain it was read from
    qint64 autoLaunch = 0; // the stored value as an integer
    LaunchTarget target;
};

// A dictionary's text value; absent when the key is missing or holds another
// type (a stored choice, a prompt list entry).
[[nodiscard]] std::optional<QString> textValue(const QVariantMap &dictionary, const QString &key);

// The keys of the helper's preferences in a host application's domain.
namespace HelperPreferenceKeys {
inline constexpr char16_t kAutoLaunch[] = u"AutoLaunch";
inline constexpr char16_t kAutoLaunchAppID[] = u"AutoLaunchAppID";
inline constexpr char16_t kAutoLaunchAppIdentifyingURLScheme[]
    = u"AutoLaunchAppIdentifyingURLScheme";
} // namespace HelperPreferenceKeys

// The choice stored in 'domain', the domain of 'record': "AutoLaunch" read as
// a number reader of the preferences would, and the stored target when it
// names an application, else the record's own.
[[nodiscard]] StoredChoice storedChoiceFromDomain(const HostApplicationRecord &record,
                                                  const QVariantMap &domain);

// The choice of the first host application whose domain exists, read as the
// domains are stored now; absent when no host application has one.
[[nodiscard]] std::optional<StoredChoice> readStoredChoice(UserDefaults &defaults);

// Stores a choice in the domain of every host application that has one (a
// domain is never made); the keys of the host's own are kept. False when an
// existing domain could not be stored, which the system log says.
bool storeChoiceForAllInstalls(UserDefaults &defaults, qint64 autoLaunch, const QString &appID,
                               const std::optional<QString> &scheme);

// The identifier detectcd printed for a disc; absent when its output could
// not be read as text.
using DiscIdentifier = std::optional<QString>;

// Whether detectcd did not know the disc: "other" in any letter case, or no
// readable identifier at all.
[[nodiscard]] bool isUnrecognisedDisc(const DiscIdentifier &identifier);

// What happens to an installer disc.
struct Verdict
{
    enum class Action { Launch, Ignore, Prompt };
    Action action;
    LaunchTarget target; // Launch: what opens it; Prompt: what to offer first
};

// The verdict of a stored choice on an identified disc: open at once a disc
// that is recognised when the choice says so, ignore every disc when it says
// so, and otherwise ask.
[[nodiscard]] Verdict decide(const StoredChoice &choice, const DiscIdentifier &identifier);
