// Writing desktop entries (freedesktop Desktop Entry specification).
#pragma once

#include <QString>

// One argument of an Exec line: in double quotes, with " ` $ \ escaped and
// % doubled. The key file's own escapes come on top when it is written.
[[nodiscard]] QString quotedExecArgument(const QString &argument);
