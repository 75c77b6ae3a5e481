#include "platform/descriptorreserve.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

int reserve = -1;

} // namespace

bool DescriptorReserve::hold()
{
    if (reserve < 0)
        reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    return reserve >= 0;
}

DescriptorReserve::Released::Released()
    : m_wasHeld(reserve >= 0)
{
    if (m_wasHeld) {
        ::close(reserve);
        reserve = -1;
    }
}

DescriptorReserve::Released::~Released()
{
    if (m_wasHeld)
        (void)hold();
}
