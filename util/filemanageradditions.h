// File-manager operations of our own: recursive directory creation that marks
// new standard folders with an empty ".localized" file, the standard folder
// set, an architecture test, a same-item test, temporary paths and display
// strings. Each works on the file manager it is given.
#pragma once

#include "platform/filemanager.h"

#include <QSet>
#include <QString>

#include <optional>
#include <string_view>

// Creates the directory at 'path'; with 'recursively', creates its missing
// ancestors first and answers true for a directory that is already there
// (false for a file). Every directory created that is a member of
// systemPaths() (exact text) gets an empty ".localized" file.
bool createDirectoryAtPath(FileManager &fileManager, const QString &path,
                           const CreationAttributes &attributes, bool recursively);

// The standard folders of every kind in every domain, made on the first
// call under a lock and kept unchanged for the life of the process: every
// call returns the same object.
const QSet<QString> &systemPaths();

// Whether `lipo -info` of the file names the architecture as a whole word.
// Systems without /usr/bin/lipo answer false.
[[nodiscard]] bool isMachOFile(FileManager &fileManager, const QString &path,
                               const QString &architecture);
// The shell command isMachOFile() runs, each argument quoted for bash.
[[nodiscard]] QString machOTestCommand(const QString &path, const QString &architecture);

// Whether the two paths name the same item (a final symbolic link followed).
[[nodiscard]] bool isSameFile(FileManager &fileManager, const QString &path1, const QString &path2);

// temporaryDirectory()/template with its trailing X characters replaced so
// that nothing exists under the name yet; nothing is created. Absent when the
// path has no byte form or no free name is found.
[[nodiscard]] std::optional<QString> temporaryPathFromTemplate(FileManager &fileManager,
                                                               const QString &nameTemplate);

// The display components of the path joined by the main bundle's separator,
// the home folder shown as the user's name (a missing home, having no
// components, leads every path, so the name is put in front); absent when the
// path does not exist.
[[nodiscard]] std::optional<QString> getDisplayStringForPath(FileManager &fileManager,
                                                             const QString &path);

// Whether the operations above that take a file manager answer a selector
// ("isSameFile:asFile:"). systemPaths() is a class operation and is not one.
[[nodiscard]] bool fileManagerAdditionsRespondToSelector(std::string_view selector);
