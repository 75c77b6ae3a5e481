// Mount identities from statx(2): STATX_MNT_ID_UNIQUE where the kernel has
// it, STATX_MNT_ID otherwise. Both ends of a prompt ask the same kernel, so
// they always compare ids of the same kind.
#include "platform/mountidentity.h"

#include "platform/filesystemrepresentation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#ifndef STATX_MNT_ID_UNIQUE
#define STATX_MNT_ID_UNIQUE 0x00004000U
#endif

std::optional<MountIdentity> mountIdentityAt(const QString &path)
{
    const auto name = fileSystemRepresentation(path);
    struct statx info
    {
    };
    if (!name
        || ::statx(AT_FDCWD, name->constData(), AT_NO_AUTOMOUNT, STATX_MNT_ID | STATX_MNT_ID_UNIQUE,
                   &info)
            != 0
        || !(info.stx_mask & (STATX_MNT_ID | STATX_MNT_ID_UNIQUE)))
        return std::nullopt;
    return MountIdentity { info.stx_mnt_id,
                           quint64(makedev(info.stx_dev_major, info.stx_dev_minor)) };
}
