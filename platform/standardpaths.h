// Standard folders, the temporary folder, the home folder and the user's name.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Kinds of standard folder, numbered as the host platform's directory codes.
enum class SearchPathDirectory {
    Application = 1,
    DemoApplication = 2,
    DeveloperApplication = 3,
    AdminApplication = 4,
    Library = 5,
    Developer = 6,
    User = 7,
    Documentation = 8,
    Document = 9,
    CoreService = 10,
    Desktop = 12,
    Caches = 13,
    ApplicationSupport = 14,
    AllApplications = 100,
    AllLibraries = 101,
};

// Domains, as a bit mask.
enum SearchPathDomain : uint {
    UserDomain = 1,
    LocalDomain = 2,
    NetworkDomain = 4,
    SystemDomain = 8,
    AllDomains = 0xffff,
};

// The folders of one kind in the given domains, user domain first. With
// 'expandTilde' false, folders in the home folder start with "~". The Linux
// table is in docs/host-integration.md.
[[nodiscard]] QStringList searchPathsForDirectoriesInDomains(SearchPathDirectory directory,
                                                             uint domainMask, bool expandTilde);

// The user's base folders of the XDG Base Directory specification.
enum class XdgBaseFolder { Config, Data, Cache };

// $XDG_CONFIG_HOME, $XDG_DATA_HOME or $XDG_CACHE_HOME when set and absolute
// (a relative one is ignored), else ~/.config, ~/.local/share or ~/.cache.
[[nodiscard]] QString xdgBaseFolder(XdgBaseFolder folder);

// $TMPDIR when set and absolute, else /tmp; without a trailing slash.
[[nodiscard]] QString temporaryDirectory();
// $HOME when set and absolute, else the home folder of the user's account.
[[nodiscard]] QString homeDirectory();
// The short login name of the process's user (from the account, not the environment).
[[nodiscard]] QString userName();

// The user's folder for temporary items, made (mode 0700) when missing:
// TemporaryItems in $XDG_RUNTIME_DIR when that is the user's private folder
// and allows running programs, else in $XDG_CACHE_HOME (~/.cache). Its path is
// fully resolved. Absent when it cannot be made, or when what stands there is
// a symbolic link, belongs to someone else or others may write in it.
[[nodiscard]] std::optional<QString> temporaryItemsDirectory();
