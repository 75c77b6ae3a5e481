// What the helper relies on of the host product (Quillmont and its
// QuillmontGames edition), in one place. Everything else about the host is
// its own business.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace HostProduct {

// The editions, main edition first. The order matters: the helper reads the
// preferences of the first edition that has a domain, and offers the
// installed editions in this order.
QStringList editionNames();
inline constexpr char16_t kMainEdition[] = u"Quillmont";
inline constexpr char16_t kGamesEdition[] = u"QuillmontGames";

// "com.tallowcraft.<edition>": bundle identifier and preferences domain name.
QString bundleIdentifier(const QString &edition);
// "com.tallowcraft.private-<edition>-app-scheme": claimed by every installed copy.
QString identifyingURLScheme(const QString &edition);

// The main edition's identifier and scheme, used for detectcd, the TCL
// strings and express installs.
QString mainBundleIdentifier();
QString mainIdentifyingURLScheme();

// "<scheme>:fake": the URL whose handlers are the installed copies.
QString probeURL(const QString &scheme);

// The disc-identification tool inside the main edition's shared-support
// folder, as path components appended in order.
QStringList detectcdPathComponents();
// The identifier detectcd prints for an installer disc it does not know.
inline constexpr char16_t kUnrecognisedDisc[] = u"other";
// The host's strings table that translates disc display names.
inline constexpr char16_t kDisplayNameTable[] = u"TCL";

// Opening a volume with express installation: the parameter record holds this
// keyword ('expr') with this text.
inline constexpr std::uint32_t kExpressKeyword = 0x65787072;
inline constexpr char16_t kExpressValue[] = u"express";
// Launch options for opening volumes: asynchronous, not added to recent items.
inline constexpr std::uint32_t kLaunchOptions = 0x10100;

// The helper as the host carries it: resource "Quillmont DI Raruru" of type
// "app" in the host application's resources.
inline constexpr char16_t kHelperResourceName[] = u"Quillmont DI Raruru";
inline constexpr char16_t kHelperResourceType[] = u"app";
inline constexpr char16_t kHelperBundleName[] = u"Quillmont DI Raruru.app";
inline constexpr char16_t kHelperBundleIdentifier[] = u"com.tallowcraft.quillmont DI raruru";

} // namespace HostProduct
