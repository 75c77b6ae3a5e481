// The helper's login item and version, as pure functions over the login
// window's domain: a dictionary whose "AutoLaunchedApplicationDictionary" is
// the list of login items, each a dictionary with "Path" (the application
// bundle to open at login) and "Hide".
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

namespace LoginItems {

inline constexpr char16_t kLoginWindowDomain[] = u"loginwindow";
inline constexpr char16_t kListKey[] = u"AutoLaunchedApplicationDictionary";
inline constexpr char16_t kPathKey[] = u"Path";
inline constexpr char16_t kHideKey[] = u"Hide";

// The last component of an item's "Path", trailing slashes ignored; absent
// when the item has no string "Path".
[[nodiscard]] std::optional<QString> fileName(const QVariant &item);

// An item whose file name is "Quillmont DI Raruru.app", letter case aside.
[[nodiscard]] bool isHelperLoginItem(const QVariant &item);

// The login window's domain after installing (activate) or removing the
// helper's login item: with activate, the first helper item stays as it is
// and later ones go, and an item {Hide = 0, Path = helperPath} is appended
// when there was none (and a helper path is known); without, every helper
// item goes. Other items and keys are never touched. A missing domain or
// list counts as empty.
[[nodiscard]] QVariantMap editedLoginWindowDomain(const std::optional<QVariantMap> &domain,
                                                  bool activate,
                                                  const std::optional<QString> &helperPath);

// The "Path" of the first item whose file name ends in "DI Raruru.app"
// (letter case counts); absent when there is none.
[[nodiscard]] std::optional<QString> registeredHelperPath(const std::optional<QVariantMap> &domain);

// A version read as one decimal number: a number value as it is; a text from
// its start (Unicode white space skipped) as the longest leading decimal
// number, with optional sign, fraction and exponent. Anything else reads as 0.
// So "1.10" reads as 1.1 and is older than "1.9"; "6.0.1" and "6.0.2" are equal.
[[nodiscard]] float versionNumber(const QVariant &version);

} // namespace LoginItems
