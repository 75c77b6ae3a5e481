#include "hostapps/candidatejudging.h"

#include "hostapps/qmbundle.h"
#include "hostapps/qmfilemanager.h"

#include <climits>

namespace {

// A scanner over a text: white space and line ends before each item are
// skipped, as in the version texts of bundles.
class Scanner
{
public:
    explicit Scanner(const QString &text)
        : m_text(text)
    { }

    bool scanInt(int &value)
    {
        skipWhitespace();
        qsizetype i = m_position;
        bool negative = false;
        if (i < m_text.size() && (m_text.at(i) == u'+' || m_text.at(i) == u'-'))
            negative = m_text.at(i++) == u'-';
        const qsizetype digitsStart = i;
        qint64 magnitude = 0;
        for (; i < m_text.size() && m_text.at(i) >= u'0' && m_text.at(i) <= u'9'; ++i)
            magnitude = std::min<qint64>(magnitude * 10 + (m_text.at(i).unicode() - u'0'),
                                         qint64(INT_MAX) + 1);
        if (i == digitsStart)
            return false;
        const qint64 signedValue = negative ? -magnitude : magnitude;
        value = int(std::clamp<qint64>(signedValue, INT_MIN, INT_MAX));
        m_position = i;
        return true;
    }

    bool scanString(QChar c)
    {
        skipWhitespace();
        if (m_position >= m_text.size() || m_text.at(m_position) != c)
            return false;
        ++m_position;
        return true;
    }

private:
    void skipWhitespace()
    {
        while (m_position < m_text.size() && m_text.at(m_position).isSpace())
            ++m_position;
    }

    const QString &m_text;
    qsizetype m_position = 0;
};

} // namespace

std::optional<VersionPair> versionPairFromText(const QVariant &value)
{
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = value.toString();
    Scanner scanner(text);
    VersionPair pair;
    if (scanner.scanInt(pair.major) && scanner.scanString(u'.') && scanner.scanInt(pair.minor)
        && scanner.scanString(u'.'))
        return pair;
    return std::nullopt;
}

ApplicationCandidate readApplicationCandidate(QMFileManager &fileManager, const QString &path,
                                              const QString &bundleIdentifier)
{
    ApplicationCandidate candidate { path, false, {}, std::nullopt };
    const auto bundle = QMBundle::bundleWithPath(path);
    if (!bundle)
        return candidate;
    const auto identifier = bundle->bundleIdentifier();
    if (!identifier || identifier->compare(bundleIdentifier, Qt::CaseInsensitive) != 0)
        return candidate;
    const auto executable = bundle->executablePath();
    if (!executable || !fileManager.isExecutableFileAtPath(*executable))
        return candidate;
    const auto version = versionPairFromText(
        bundle->objectForInfoDictionaryKey(QStringLiteral("CFBundleVersion")));
    if (!version || version->major < 1 || version->minor < 0)
        return candidate;
    candidate.eligible = true;
    candidate.version = *version;
    if (const auto attributes = fileManager.fileAttributesAtPath(path, true))
        candidate.modificationDate = attributes->modificationDate;
    return candidate;
}

bool CandidateRanking::consider(const ApplicationCandidate &c)
{
    if (!c.eligible)
        return false;
    // The starting record is major -1, minor -1, the distant past.
    const VersionPair best = m_best ? m_best->version : VersionPair {};
    // Dates compare to the nanosecond, as the file system keeps them.
    const FileTime *bestDate
        = m_best && m_best->modificationDate ? &*m_best->modificationDate : nullptr;
    const bool newer = c.version.major > best.major
        || (c.version.major == best.major && c.version.minor > best.minor)
        || (c.version.major == best.major && c.version.minor == best.minor && c.modificationDate
            && (!bestDate || *c.modificationDate > *bestDate));
    if (newer)
        m_best = c;
    return newer;
}

std::optional<std::size_t> bestCandidate(const std::vector<ApplicationCandidate> &candidates)
{
    CandidateRanking ranking;
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (ranking.consider(candidates[i]))
            best = i;
    }
    return best;
}
