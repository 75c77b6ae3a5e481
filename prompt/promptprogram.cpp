#include "prompt/promptprogram.h"

#include <algorithm>

namespace PromptProgram {

namespace {

const QByteArray kHeader = QByteArrayLiteral("raruru-prompt-request 1\n");
const QByteArray kEnd = QByteArrayLiteral("end\n");

void appendField(QByteArray &out, const char *name, const QByteArray &value)
{
    out += name;
    out += ' ' + QByteArray::number(value.size()) + '\n';
    out += value;
    out += '\n';
}

// A decimal number of digits only (a '-' first when 'sign'), nothing around it.
std::optional<qint64> decimal(const QByteArray &text, bool sign)
{
    const qsizetype start = sign && text.startsWith('-') ? 1 : 0;
    if (text.size() == start || text.size() - start > 19)
        return std::nullopt;
    for (qsizetype i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<quint64> unsignedDecimal(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 20
        || std::any_of(text.begin(), text.end(), [](char c) { return c < '0' || c > '9'; }))
        return std::nullopt;
    bool ok = false;
    const quint64 value = text.toULongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

} // namespace

QByteArray encodeRequest(const Request &request)
{
    QByteArray out = kHeader;
    appendField(out, "volume", request.volumePath);
    appendField(out, "selected", QByteArray::number(request.selectedApp));
    if (request.packageName)
        appendField(out, "package", request.packageName->toUtf8());
    appendField(out, "mount", QByteArray::number(request.mount.mountId));
    appendField(out, "device", QByteArray::number(request.mount.device));
    out += kEnd;
    return out;
}

DecodedRequest decodeRequest(const QByteArray &bytes)
{
    const auto incompleteOrTooLarge = [&bytes] {
        return DecodedRequest { bytes.size() > kMaxRequestSize ? DecodedRequest::Malformed
                                                               : DecodedRequest::Incomplete };
    };
    const qsizetype headerPart = std::min(bytes.size(), kHeader.size());
    if (bytes.first(headerPart) != kHeader.first(headerPart))
        return { DecodedRequest::Malformed };
    if (bytes.size() < kHeader.size())
        return { DecodedRequest::Incomplete };

    Request request;
    std::optional<QByteArray> volume, selected, mount, device;
    qsizetype at = kHeader.size();
    for (;;) {
        if (at > kMaxRequestSize)
            return { DecodedRequest::Malformed };
        const qsizetype lineEnd = bytes.indexOf('\n', at);
        if (lineEnd < 0) {
            // The field line may still be coming; a long one never will.
            return bytes.size() - at > 32 ? DecodedRequest { DecodedRequest::Malformed }
                                          : incompleteOrTooLarge();
        }
        const QByteArray line = bytes.sliced(at, lineEnd - at);
        if (line + '\n' == kEnd)
            break;
        const qsizetype blank = line.indexOf(' ');
        const auto length = blank > 0 ? decimal(line.sliced(blank + 1), false) : std::nullopt;
        if (!length || *length > kMaxRequestSize)
            return { DecodedRequest::Malformed };
        const qsizetype valueStart = lineEnd + 1;
        if (bytes.size() < valueStart + *length + 1)
            return incompleteOrTooLarge();
        if (bytes[valueStart + *length] != '\n')
            return { DecodedRequest::Malformed };
        const QByteArray value = bytes.sliced(valueStart, *length);
        const QByteArray name = line.first(blank);
        std::optional<QByteArray> *field = name == "volume" ? &volume
            : name == "selected"                            ? &selected
            : name == "mount"                               ? &mount
            : name == "device"                              ? &device
                                                            : nullptr;
        if (name == "package") {
            if (request.packageName)
                return { DecodedRequest::Malformed };
            request.packageName = QString::fromUtf8(value);
        } else if (!field || *field) {
            return { DecodedRequest::Malformed }; // unknown, or given twice
        } else {
            *field = value;
        }
        at = valueStart + *length + 1;
    }
    const auto selectedApp = selected ? decimal(*selected, true) : std::nullopt;
    const auto mountId = mount ? unsignedDecimal(*mount) : std::nullopt;
    const auto deviceNumber = device ? unsignedDecimal(*device) : std::nullopt;
    if (!volume || !selectedApp || !mountId || !deviceNumber)
        return { DecodedRequest::Malformed };
    request.volumePath = *volume;
    request.selectedApp = qsizetype(*selectedApp);
    request.mount = { *mountId, *deviceNumber };
    return { DecodedRequest::Complete, request };
}

} // namespace PromptProgram
