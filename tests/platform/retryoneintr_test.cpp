// Restarting a call that a signal interrupted, and no other.
#include "platform/retryoneintr_p.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(RetryOnEintr, RestartsOnlyInterruptedCalls)
{
    struct Outcome
    {
        long result;
        int error;
    };
    // What each call returns and leaves in errno; the result, errno and the
    // number of calls at the end.
    const struct
    {
        const char *name;
        std::vector<Outcome> outcomes;
        long result;
        int error;
        std::size_t calls;
    } cases[] = {
        { "done at once", { { 3, 0 } }, 3, 0, 1 },
        { "interrupted twice", { { -1, EINTR }, { -1, EINTR }, { 0, 0 } }, 0, 0, 3 },
        { "another failure ends it", { { -1, EINTR }, { -1, EAGAIN }, { 5, 0 } }, -1, EAGAIN, 2 },
        { "a success with EINTR left from before", { { 7, EINTR } }, 7, EINTR, 1 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t calls = 0;
        const long result = retryOnEintr([&] {
            const Outcome &outcome = c.outcomes.at(calls++); // throws when called too often
            errno = outcome.error;
            return outcome.result;
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(errno, c.error);
        EXPECT_EQ(calls, c.calls);
    }
}

} // namespace
