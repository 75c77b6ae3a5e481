// StringsTable::fromData() on any bytes: no crash; every text of a table it
// reads is valid UTF-16 (no unpaired surrogate); and the table, written back
// in the text form as UTF-16 with a byte-order mark, escapes for quotes,
// backslashes and control characters and everything else as it is, reads
// back as the same table.
#include "fuzz/fuzzsupport.h"
#include "platform/stringstable.h"

#include <QStringEncoder>

namespace {

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += QStringLiteral("\\U%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + u'"';
}

QByteArray describe(const StringsTable::Table &table)
{
    QByteArray out;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        out += fuzz::printable(it.key()) + " = " + fuzz::printable(it.value()) + '\n';
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<StringsTable::Table> table
        = StringsTable::fromData(fuzz::bytes(data, size));
    if (!table)
        return 0;
    QString text;
    for (auto it = table->cbegin(); it != table->cend(); ++it) {
        FUZZ_CHECK(it.key().isValidUtf16() && it.value().isValidUtf16(), describe(*table));
        text += QStringLiteral("/* %1 */\n%2 = %3;\n")
                    .arg(QString::number(table->size()), quoted(it.key()), quoted(it.value()));
    }
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    const QByteArray written = encoder(text);
    const std::optional<StringsTable::Table> again = StringsTable::fromData(written);
    FUZZ_CHECK(again == table,
               "read:\n" + describe(*table) + "written:\n" + fuzz::printable(text)
                   + "\nread back:\n" + (again ? describe(*again) : "(nothing)"));
    return 0;
}
