// Every program the helper starts gets its standard streams and nothing
// else. A descriptor opened without O_CLOEXEC, or inherited from whoever
// started us (a host's `3>&1`), would otherwise live on in the program, and
// a reader waiting for the end of that pipe would wait as long as the
// program runs. The one exception is a descriptor handed on on purpose: it
// becomes descriptor 3.
#pragma once

#include <spawn.h>

inline constexpr int kPassedDescriptor = 3;

// For posix_spawn, after the standard streams' actions: closes every other
// descriptor in the child; 'passed', when not -1, becomes kPassedDescriptor.
inline void closeOtherDescriptorsForSpawn(posix_spawn_file_actions_t *actions, int passed = -1)
{
    if (passed >= 0)
        posix_spawn_file_actions_adddup2(actions, passed, kPassedDescriptor);
    posix_spawn_file_actions_addclosefrom_np(
        actions, passed >= 0 ? kPassedDescriptor + 1 : kPassedDescriptor);
}
