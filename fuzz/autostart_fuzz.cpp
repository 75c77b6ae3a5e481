// Autostart::loginItemFromEntry() on any bytes: no crash; an item it reads
// has a text "Path" and a number "Hide". Any such Path but one that starts
// with a form feed or vertical tab can be written: entryForLoginItem() with
// it (as the bundle and as the program) makes an entry that reads back with
// the same Path and Hide; and without its X-Bundle-Path line, the same entry
// leads through its Exec line to that program.
#include "fuzz/fuzzsupport.h"
#include "platform/autostart.h"
#include "platform/bundle.h"

#include <QByteArrayList>

namespace {

QByteArray describe(const std::optional<QVariantMap> &item)
{
    if (!item)
        return "(no item)";
    return "Path [" + fuzz::printable(item->value(QStringLiteral("Path")).toString()) + "] Hide "
        + item->value(QStringLiteral("Hide")).toByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<QVariantMap> item = Autostart::loginItemFromEntry(fuzz::bytes(data, size));
    if (!item)
        return 0;
    const QVariant pathValue = item->value(QStringLiteral("Path"));
    const QVariant hideValue = item->value(QStringLiteral("Hide"));
    FUZZ_CHECK(pathValue.typeId() == QMetaType::QString
                   && hideValue.typeId() == QMetaType::LongLong,
               describe(item));
    const QString path = pathValue.toString();
    const qint64 hide = hideValue.toLongLong();

    const std::optional<QByteArray> entry = Autostart::entryForLoginItem(path, path, hide);
    if (!entry) {
        // A value cannot start with these: the reader drops them, and they have no escape.
        FUZZ_CHECK(path.startsWith(u'\f') || path.startsWith(u'\v'),
                   "cannot write " + describe(item));
        return 0;
    }
    const std::optional<QVariantMap> again = Autostart::loginItemFromEntry(*entry);
    FUZZ_CHECK(again && *again == *item,
               "read " + describe(item) + "\nwrote\n" + fuzz::printable(*entry) + "\nread back "
                   + describe(again));

    QByteArrayList lines = entry->split('\n');
    lines.removeIf([](const QByteArray &line) { return line.startsWith("X-Bundle-Path="); });
    const QByteArray execOnly = lines.join('\n');
    const std::optional<QVariantMap> fromExec = Autostart::loginItemFromEntry(execOnly);
    const QString program = Bundle::bundlePathForProgram(path).value_or(path);
    FUZZ_CHECK(fromExec && fromExec->value(QStringLiteral("Path")) == program
                   && fromExec->value(QStringLiteral("Hide")) == hide,
               "wrote\n" + fuzz::printable(execOnly) + "\nwant [" + fuzz::printable(program)
                   + "]\nread back " + describe(fromExec));
    return 0;
}
