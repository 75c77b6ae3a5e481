// One descriptor held back for the moment the process has used up all it
// may have open: given back, it lets one more open succeed, so that the work
// that matters (examining a new mount, taking a connection off a listener
// to close it) is never starved by whatever used up the rest.
#pragma once

class DescriptorReserve
{
public:
    // Takes the reserve (once per process); false when even that fails.
    static bool hold();

    // Gives the reserve back while it lives and takes it again after.
    class Released
    {
    public:
        Released();
        ~Released();
        Released(const Released &) = delete;
        Released &operator=(const Released &) = delete;

    private:
        bool m_wasHeld;
    };
};
