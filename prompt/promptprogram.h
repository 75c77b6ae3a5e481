// What crosses between the helper and the prompt program, both ways, in one
// place: the helper (app/promptprocessprompter.cpp) encodes, the program
// (prompt/program/main.cpp) decodes.
//
// The helper starts Contents/Helpers/raruru-prompt of its bundle with no
// arguments but its name (a disc's names never reach the command line,
// where Qt would take them for its own options) and writes one encoded
// request to the program's standard input, which it keeps open: its end
// tells the program that the helper has gone or is quitting, and the
// program then closes its window and runs no action, unless it is already
// carrying one out. The program writes kActing on its standard output as it
// starts to carry out an answer, so that a quitting helper leaves it to
// finish. SIGTERM closes the prompt as its close button would.
#pragma once

#include "platform/mountidentity.h"
#include "util/stringadditions.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace PromptProgram {

inline constexpr char kFolder[] = "Contents/Helpers";
inline constexpr char kName[] = "raruru-prompt";

// Exit statuses. NoHostApplication: no host application is installed, and
// the helper is to end, as it would when it showed prompts itself.
enum ExitStatus { Answered = 0, NotShown = 1, UsageError = 2, NoHostApplication = 3 };

// The line the program writes as it starts to carry out an answer.
inline constexpr char kActing[] = "acting\n";

// A request larger than this is refused by both ends (a volume path is at
// most 4 KiB; a disc's name at most what the helper reads of detectcd).
inline constexpr qsizetype kMaxRequestSize = 256 * 1024;

struct Request
{
    QByteArray volumePath; // the file system's bytes
    // The position of the stored launch target in the host application
    // list, or kNotFound.
    qsizetype selectedApp = kNotFound;
    // The disc's display name; absent when its identifier could not be read.
    std::optional<QString> packageName;
    // The mount the prompt is about: an answer given once the volume path
    // lies on another mount is dropped.
    MountIdentity mount;

    friend bool operator==(const Request &, const Request &) = default;
};

// "raruru-prompt-request 1\n", then each field as "NAME LENGTH\nBYTES\n"
// (LENGTH in decimal), then "end\n". Names: volume, selected, package (only
// when there is one), mount, device.
[[nodiscard]] QByteArray encodeRequest(const Request &request);

struct DecodedRequest
{
    enum Status { Incomplete, Malformed, Complete } status = Incomplete;
    Request request {}; // when Complete
};

// Decodes the request at the start of 'bytes' (what has been read so far);
// bytes after its end are not looked at. Incomplete: a prefix of a request
// no larger than kMaxRequestSize.
[[nodiscard]] DecodedRequest decodeRequest(const QByteArray &bytes);

} // namespace PromptProgram
