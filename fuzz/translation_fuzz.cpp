// translatorFromData() on any bytes, as raruru_de.qm: no crash; and every
// file it accepts is one Qt reads within its bounds. For that the accepted
// bytes are loaded again into memory that ends at a page no one may read,
// and every message the file holds is looked up there in each plural form
// (Qt itself is not instrumented, so a read past the end must fault), then
// through the translator made.
#include "fuzz/fuzzsupport.h"
#include "platform/translations.h"

#include <QtEndian>

#include <cstring>
#include <sys/mman.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Message = std::tuple<QByteArray, QByteArray, QByteArray>; // context, source, comment

// The messages of a file translationDataProblem() accepted.
std::vector<Message> messagesOf(const QByteArray &data)
{
    std::vector<Message> messages;
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    qsizetype at = 16;
    while (at < data.size()) {
        const uchar tag = bytes[at];
        const auto size = qsizetype(qFromBigEndian<quint32>(bytes + at + 1));
        at += 5;
        if (tag == 0x69) {
            Message message;
            for (qsizetype m = at; m < at + size;) {
                const uchar field = bytes[m++];
                if (field == 1) {
                    messages.push_back(std::exchange(message, {}));
                    continue;
                }
                if (field == 5) {
                    m += 4;
                    continue;
                }
                const auto length = qsizetype(qFromBigEndian<quint32>(bytes + m));
                const QByteArray text = data.mid(m + 4, length);
                if (field == 7)
                    std::get<0>(message) = text;
                else if (field == 6)
                    std::get<1>(message) = text;
                else if (field == 8)
                    std::get<2>(message) = text;
                m += 4 + length;
            }
        }
        at += size;
    }
    return messages;
}

void lookUpAll(const QTranslator &translator, const std::vector<Message> &messages)
{
    for (const auto &[context, source, comment] : messages) {
        for (const int n : { -1, 0, 1, 2, 5 }) {
            (void)translator.translate(context.constData(), source.constData(), comment.constData(),
                                       n);
            (void)translator.translate(context.constData(), source.constData(), nullptr, n);
        }
    }
    (void)translator.translate("raruru-cdtools", "unknown command");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::bytes(data, size);
    QString problem;
    const auto translator = translatorFromData(bytes, QStringLiteral("de"), &problem);
    if (!translator)
        return 0;
    const std::vector<Message> messages = messagesOf(bytes);

    const auto page = size_t(::sysconf(_SC_PAGESIZE));
    const size_t span = (size + page - 1) / page * page;
    auto *region = static_cast<uchar *>(
        ::mmap(nullptr, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (region == MAP_FAILED)
        return 0;
    ::mprotect(region + span, page, PROT_NONE);
    uchar *copy = region + span - size;
    std::memcpy(copy, data, size);
    {
        QTranslator guarded;
        const bool loaded = guarded.load(copy, int(size));
        FUZZ_CHECK(loaded, fuzz::printable(bytes));
        lookUpAll(guarded, messages);
    }
    ::munmap(region, span + page);
    lookUpAll(*translator, messages);
    return 0;
}
