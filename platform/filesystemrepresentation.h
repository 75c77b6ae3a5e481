// Path texts and the bytes the kernel sees.
//
// A Linux file name is any run of bytes but "/" and NUL, and need not be
// UTF-8. A path text carries each byte that is not part of valid UTF-8 as the
// lone surrogate U+DC80..U+DCFF (the "surrogateescape" scheme of Python and
// others), so every name survives the trip to text and back, and two different
// names never share a text.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The bytes for a path text; absent when the text holds a NUL or a surrogate
// that no byte stands for (a lone high surrogate, or U+DC00..U+DC7F).
[[nodiscard]] std::optional<QByteArray> fileSystemRepresentation(const QString &path);

// The path text for some bytes; never fails.
[[nodiscard]] QString stringWithFileSystemRepresentation(const char *bytes, qsizetype length);
[[nodiscard]] QString stringWithFileSystemRepresentation(const QByteArray &bytes);

// A path text made fit for showing to a person: escaped bytes become U+FFFD.
[[nodiscard]] QString displayableString(const QString &path);
