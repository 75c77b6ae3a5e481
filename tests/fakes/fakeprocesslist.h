// A process list that tests fill: processes in id order, each with a bundle.
#pragma once

#include "platform/processlist.h"

#include <functional>
#include <map>
#include <vector>

class FakeProcessList final : public ProcessList
{
public:
    // Adds a running process; returns its serial number.
    ProcessSerialNumber run(std::uint32_t pid, std::optional<QString> bundlePath,
                            std::optional<QString> identifier)
    {
        m_processes[pid] = { std::move(bundlePath), std::move(identifier) };
        return { 0, pid };
    }
    void exit(std::uint32_t pid) { m_processes.erase(pid); }

    bool getNextProcess(ProcessSerialNumber &psn) override
    {
        const auto next = m_processes.upper_bound(psn.lowLongOfPSN);
        if (next == m_processes.end())
            return false;
        psn = { 0, next->first };
        return true;
    }
    std::optional<ProcessInformation> processInformation(const ProcessSerialNumber &psn) override
    {
        const auto it = m_processes.find(psn.lowLongOfPSN);
        if (it == m_processes.end())
            return std::nullopt;
        return it->second;
    }
    bool sendQuitRequest(const ProcessSerialNumber &psn) override
    {
        quitRequests.push_back(psn.lowLongOfPSN);
        if (onQuitRequest)
            onQuitRequest();
        return m_processes.count(psn.lowLongOfPSN) != 0;
    }

    std::vector<std::uint32_t> quitRequests;
    std::function<void()> onQuitRequest; // called as each is sent

private:
    std::map<std::uint32_t, ProcessInformation> m_processes;
};
