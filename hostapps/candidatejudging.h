// Choosing among installed copies of a host application: which copies are
// usable, and which usable copy is the newest.
#pragma once

#include "platform/filemanager.h"

#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

class QMFileManager;

// The leading "major.minor." of a version text.
struct VersionPair
{
    int major = -1;
    int minor = -1;
};

// Reads decimal major, ".", decimal minor, "." from the start of a text
// (white space before each item skipped, numbers with an optional sign,
// beyond the 32-bit range clamped to it); what follows the second point is
// not read. Absent when any of the four is missing or the value is no text:
// "7.0.1b2" gives (7, 0); "7.0" and "7" give nothing.
[[nodiscard]] std::optional<VersionPair> versionPairFromText(const QVariant &value);

// What was read of one copy. Reading stops at the first test that fails, so
// an ineligible candidate has only what was read before the failure.
struct ApplicationCandidate
{
    QString path;
    bool eligible = false;
    VersionPair version;
    std::optional<FileTime> modificationDate; // read for eligible copies only
};

// Reads the copy at 'path' for identifier 'bundleIdentifier', testing in
// order: a bundle opens there; its identifier equals the given one without
// regard to case; it names an executable file that can be run; its
// CFBundleVersion yields a version pair; major >= 1 and minor >= 0. Only then
// is the folder's modification date (a symbolic link followed) read.
[[nodiscard]] ApplicationCandidate readApplicationCandidate(QMFileManager &fileManager,
                                                            const QString &path,
                                                            const QString &bundleIdentifier);

// Keeps the best of the candidates considered so far, so that judging many
// copies holds one record, not all of them.
class CandidateRanking
{
public:
    // Whether 'candidate' became the best.
    bool consider(const ApplicationCandidate &candidate);
    [[nodiscard]] const std::optional<ApplicationCandidate> &best() const { return m_best; }

private:
    std::optional<ApplicationCandidate> m_best;
};

// The best eligible candidate: the higher major, then the higher minor, then
// a strictly later date; of equals the one listed first. A candidate without
// a date never wins on the date (a missing best date counts as the distant past).
[[nodiscard]] std::optional<std::size_t>
bestCandidate(const std::vector<ApplicationCandidate> &candidates);
