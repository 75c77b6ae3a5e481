// Restarting a system call that a signal interrupted.
#pragma once

#include <cerrno>

// Calls 'call' again for as long as it fails with EINTR: a signal arrived
// before the call could do anything, so asking again loses nothing. Returns
// the first other result, with errno as that call left it. 'call' returns
// a negative number on failure, as system calls do.
template<typename Call> auto retryOnEintr(Call &&call) -> decltype(call())
{
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR)
            return result;
    }
}
