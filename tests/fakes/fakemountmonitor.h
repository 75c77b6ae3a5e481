// A mount monitor that tests plug volumes into and unplug them from.
#pragma once

#include "platform/mountmonitor.h"

class FakeMountMonitor final : public MountMonitor
{
public:
    bool start() override
    {
        started = true;
        return true;
    }
    void plug(const QString &mountPoint) { Q_EMIT didMount(mountPoint); }
    void unplug(const QString &mountPoint) { Q_EMIT didUnmount(mountPoint); }

    bool started = false;
};
