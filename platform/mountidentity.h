// Which mount a path lies on: a disc ejected and another mounted at the same
// place is another mount, though its path is the same.
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

struct MountIdentity
{
    // The kernel's mount id: one never handed out again where the kernel
    // has such ids (Linux 6.8), else the mount table's, which a later mount
    // may reuse; with the device number, a disc that comes back in the same
    // drive under a reused id is still told apart by what a path sees.
    quint64 mountId = 0;
    quint64 device = 0;

    friend bool operator==(const MountIdentity &, const MountIdentity &) = default;
};

// The mount the file or folder at 'path' lies on (the mount itself for its
// mount point); absent when there is nothing at 'path'.
[[nodiscard]] std::optional<MountIdentity> mountIdentityAt(const QString &path);
