#include "platform/translations.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <map>

namespace {

QString variable(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

// language[_territory][.codeset][@modifier] without codeset and modifier.
QString withoutCodesetAndModifier(const QString &name)
{
    return name.section(u'@', 0, 0).section(u'.', 0, 0);
}

bool isCLocale(const QString &name)
{
    const QString bare = withoutCodesetAndModifier(name);
    return bare == QStringLiteral("C") || bare == QStringLiteral("POSIX");
}

bool isWord(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    });
}

// A .qm file: a magic number, then blocks of a tag byte, a 32-bit length and
// that many bytes. The message block holds records of tagged fields (a tag,
// mostly a 32-bit length and bytes) ending in End; the hash block pairs the
// hash of each record's source text and comment with the record's offset.
constexpr uchar kMagic[16] = { 0x3C, 0xB8, 0x64, 0x18, 0xCA, 0xEF, 0x9C, 0x95,
                               0xCD, 0x21, 0x1C, 0xBF, 0x60, 0xA1, 0xBD, 0xDD };
namespace qm {
enum Block : uchar { Hashes = 0x42, Messages = 0x69, NumerusRules = 0x88, Language = 0xa7 };
enum Field : uchar {
    End = 1,
    Translation = 3,
    Obsolete1 = 5,
    SourceText = 6,
    Context = 7,
    Comment = 8,
};
} // namespace qm

quint32 read32(const uchar *p)
{
    return qFromBigEndian<quint32>(p);
}

// The hash Qt files a message under: the ELF hash of its source text and
// comment, never 0.
quint32 messageHash(QByteArrayView source, QByteArrayView comment)
{
    quint32 h = 0;
    for (const QByteArrayView part : { source, comment }) {
        for (const char c : part) {
            h = (h << 4) + uchar(c);
            const quint32 g = h & 0xf0000000;
            if (g != 0)
                h ^= g >> 24;
            h &= ~g;
        }
    }
    return h != 0 ? h : 1;
}

bool isValidUtf16BigEndian(const uchar *text, quint32 length)
{
    for (quint32 i = 0; i < length; i += 2) {
        const char16_t unit = qFromBigEndian<quint16>(text + i);
        if (QChar::isLowSurrogate(unit))
            return false;
        if (QChar::isHighSurrogate(unit)) {
            if (i + 4 > length || !QChar::isLowSurrogate(qFromBigEndian<quint16>(text + i + 2)))
                return false;
            i += 2;
        }
    }
    return true;
}

// The message records in 'block', by offset, each with its hash; a problem
// when one does not parse.
std::optional<std::map<quint32, quint32>> messageRecords(QByteArrayView block, QString *problem)
{
    const auto *bytes = reinterpret_cast<const uchar *>(block.data());
    const auto length = quint32(block.size());
    std::map<quint32, quint32> records;
    quint32 at = 0;
    while (at < length) {
        const quint32 start = at;
        QByteArrayView source, comment;
        for (;;) {
            if (at >= length) {
                *problem = QStringLiteral("a message at %1 runs past its block").arg(start);
                return std::nullopt;
            }
            const uchar field = bytes[at++];
            if (field == qm::End)
                break;
            if (field == qm::Obsolete1 && length - at >= 4) {
                at += 4;
                continue;
            }
            const bool known = field == qm::Translation || field == qm::SourceText
                || field == qm::Context || field == qm::Comment;
            const quint32 size = length - at >= 4 ? read32(bytes + at) : 0;
            if (!known || length - at < 4 || size > length - at - 4
                || (field == qm::Translation
                    && (size % 2 != 0 || !isValidUtf16BigEndian(bytes + at + 4, size)))) {
                *problem = QStringLiteral("the message at %1 has a damaged field").arg(start);
                return std::nullopt;
            }
            at += 4;
            if (field == qm::SourceText)
                source = block.sliced(at, size);
            else if (field == qm::Comment)
                comment = block.sliced(at, size);
            at += size;
        }
        records.emplace(start, messageHash(source, comment));
    }
    return records;
}

} // namespace

QString translationDataProblem(const QByteArray &data, const QString &language)
{
    if (data.size() > kMaxTranslationSize)
        return QStringLiteral("it is larger than %1 bytes").arg(kMaxTranslationSize);
    if (data.size() < qsizetype(sizeof kMagic)
        || std::memcmp(data.constData(), kMagic, sizeof kMagic) != 0)
        return QStringLiteral("it is no Qt translation file");
    // Every block once, exactly to the end of the file: a file cut at a
    // block's end would otherwise read as a smaller, sound one.
    std::map<uchar, QByteArrayView> blocks;
    const QByteArrayView file(data);
    qsizetype at = sizeof kMagic;
    while (at < file.size()) {
        if (file.size() - at < 5)
            return QStringLiteral("it ends inside a block header");
        const uchar tag = uchar(file[at]);
        const quint32 size = read32(reinterpret_cast<const uchar *>(file.data()) + at + 1);
        at += 5;
        if (size > quint64(file.size() - at))
            return QStringLiteral("a block runs past the end of the file");
        if (tag != qm::Hashes && tag != qm::Messages && tag != qm::NumerusRules
            && tag != qm::Language)
            return QStringLiteral("it holds a block (%1) lrelease does not write").arg(tag);
        if (!blocks.emplace(tag, file.sliced(at, size)).second)
            return QStringLiteral("it holds a block (%1) twice").arg(tag);
        at += size;
    }
    if (blocks.size() != 4)
        return QStringLiteral("it lacks a block");
    if (blocks[qm::Language] != language.toLatin1())
        return QStringLiteral("it names another language");
    if (blocks[qm::NumerusRules].isEmpty() || blocks[qm::NumerusRules].size() > 64)
        return QStringLiteral("its plural rules are damaged");
    QString problem;
    const auto records = messageRecords(blocks[qm::Messages], &problem);
    if (!records)
        return problem;
    // Each entry of the hash table, in order, names a record filed under
    // its hash: Qt reads at any offset it finds there.
    const QByteArrayView table = blocks[qm::Hashes];
    if (table.isEmpty() || table.size() % 8 != 0)
        return QStringLiteral("its hash table is damaged");
    quint32 previous = 0;
    for (qsizetype i = 0; i < table.size(); i += 8) {
        const auto *entry = reinterpret_cast<const uchar *>(table.data()) + i;
        const quint32 hash = read32(entry);
        const auto record = records->find(read32(entry + 4));
        if (hash < previous || record == records->end() || record->second != hash)
            return QStringLiteral("its hash table does not match its messages");
        previous = hash;
    }
    return {};
}

namespace {

// Qt reads the translation from these bytes as long as the translator lives.
class DataTranslator final : public QTranslator
{
public:
    explicit DataTranslator(QByteArray data)
        : m_data(std::move(data))
    { }
    bool load()
    {
        return QTranslator::load(reinterpret_cast<const uchar *>(m_data.constData()),
                                 int(m_data.size()));
    }

private:
    QByteArray m_data;
};

} // namespace

std::unique_ptr<QTranslator> translatorFromData(QByteArray data, const QString &language,
                                                QString *problem)
{
    *problem = translationDataProblem(data, language);
    if (!problem->isEmpty())
        return nullptr;
    auto translator = std::make_unique<DataTranslator>(std::move(data));
    if (!translator->load()) {
        *problem = QStringLiteral("Qt does not take it");
        return nullptr;
    }
    return translator;
}

LanguageEnvironment LanguageEnvironment::current()
{
    return { variable("LANGUAGE"), variable("LC_ALL"), variable("LC_MESSAGES"), variable("LANG") };
}

QStringList preferredLanguages(const LanguageEnvironment &environment)
{
    QString locale;
    for (const QString *value :
         { &environment.lcAll, &environment.lcMessages, &environment.lang }) {
        if (!value->isEmpty()) {
            locale = *value;
            break;
        }
    }
    if (locale.isEmpty() || isCLocale(locale))
        return {};

    const QStringList names = environment.language.isEmpty()
        ? QStringList { locale }
        : environment.language.split(u':', Qt::SkipEmptyParts);
    QStringList languages;
    for (const QString &name : names) {
        if (isCLocale(name))
            break;
        const QString bare = withoutCodesetAndModifier(name);
        const QString language = bare.section(u'_', 0, 0);
        const QString territory = bare.section(u'_', 1);
        // Names become file names: anything but letters and digits is no language.
        if (!isWord(language) || (bare.contains(u'_') && !isWord(territory)))
            continue;
        if (language == QStringLiteral("en"))
            break;
        if (!territory.isEmpty() && !languages.contains(bare))
            languages << bare;
        if (!languages.contains(language))
            languages << language;
    }
    return languages;
}

QString translationsFolder(const QString &resourcePath)
{
    return resourcePath + QStringLiteral("/translations");
}

QStringList translatedLanguages()
{
    return QStringLiteral(RARURU_TRANSLATED_LANGUAGES).split(u' ', Qt::SkipEmptyParts);
}

Translation loadTranslation(const QString &folder, const QStringList &languages)
{
    const QStringList carried = translatedLanguages();
    for (const QString &language : languages) {
        if (!carried.contains(language))
            continue;
        const QString path = folder + QStringLiteral("/raruru_") + language + QStringLiteral(".qm");
        // Looked for first: QTranslator, missing a file, tries names cut at
        // every '_' and '.' of the whole path.
        if (!QFileInfo(path).isFile())
            return {
                nullptr,
                QStringLiteral("The translation %1 is missing; the texts stay in English").arg(path)
            };
        // Read once and loaded from memory: a file that changes under a
        // mapping of it could be checked whole and read cut short.
        QFile file(path);
        QString problem;
        std::unique_ptr<QTranslator> translator;
        if (!file.open(QIODevice::ReadOnly))
            problem = file.errorString();
        else
            translator = translatorFromData(file.read(kMaxTranslationSize + 1), language, &problem);
        if (!translator)
            return { nullptr,
                     QStringLiteral(
                         "The translation %1 cannot be used (%2); the texts stay in English")
                         .arg(path, problem) };
        return { std::move(translator), {} };
    }
    return {};
}
