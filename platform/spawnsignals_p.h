// The helper ignores some signals (SIGPIPE, the user signals) and catches
// others; an ignored signal stays ignored across exec, so every program the
// helper starts gets the system's default dispositions and an empty signal
// mask back, as it would from a shell.
#pragma once

#include <csignal>
#include <spawn.h>

inline constexpr int kSignalsResetForChildren[]
    = { SIGPIPE, SIGUSR1, SIGUSR2, SIGHUP, SIGINT, SIGTERM, SIGQUIT };

// For posix_spawn: adds the resets to 'flags' and sets them on 'attributes'.
inline void setDefaultSignalsForSpawn(posix_spawnattr_t *attributes, short flags)
{
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigemptyset(&none);
    for (const int signal : kSignalsResetForChildren)
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(attributes, &defaults);
    posix_spawnattr_setsigmask(attributes, &none);
    posix_spawnattr_setflags(attributes,
                             short(flags | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));
}
