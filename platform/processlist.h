// The current user's running processes, and quit requests to them.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// Names one running process: {0, process id}. {0, 0} names none; only the
// low word is ever tested.
struct ProcessSerialNumber
{
    std::uint32_t highLongOfPSN = 0;
    std::uint32_t lowLongOfPSN = 0;
    friend bool operator==(const ProcessSerialNumber &, const ProcessSerialNumber &) = default;
};

// What is known of one process.
struct ProcessInformation
{
    std::optional<QString> bundlePath; // the *.app folder it runs from
    std::optional<QString> bundleIdentifier; // that bundle's CFBundleIdentifier
    // Its program was deleted (or replaced) since it started; the bundle
    // path is where the program was, and the identifier is that of whatever
    // bundle is there now, if any.
    bool programDeleted = false;
};

class ProcessList
{
public:
    virtual ~ProcessList();
    ProcessList(const ProcessList &) = delete;
    ProcessList &operator=(const ProcessList &) = delete;

    // The processes of this system's /proc.
    [[nodiscard]] static std::unique_ptr<ProcessList> create();

    // Advances 'psn' to the next of the user's processes in increasing
    // process-id order ({0, 0} gives the first); false at the end.
    [[nodiscard]] virtual bool getNextProcess(ProcessSerialNumber &psn) = 0;
    // The process's bundle and identifier; absent when it has ended (or is
    // not the process that was listed under that id).
    [[nodiscard]] virtual std::optional<ProcessInformation>
    processInformation(const ProcessSerialNumber &psn) = 0;
    // Asks the process to quit (SIGTERM); false when it is gone, its
    // information was never read, or it is not the process whose
    // information was read under that id.
    virtual bool sendQuitRequest(const ProcessSerialNumber &psn) = 0;

protected:
    ProcessList() = default;
};
