// PropertyList::fromData() on any bytes, XML or binary: no crash, hang or
// runaway memory; and a value it reads, written with toXmlData() and read
// again, is the same value with the same types. Values the XML form cannot
// carry (toXmlData() refuses them, dates with a fraction among them) end the
// check.
#include "fuzz/fuzzsupport.h"
#include "platform/propertylist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<QVariant> value = PropertyList::fromData(fuzz::bytes(data, size));
    if (!value)
        return 0;
    const std::optional<QByteArray> xml = PropertyList::toXmlData(*value);
    if (!xml)
        return 0;
    const std::optional<QVariant> again = PropertyList::fromData(*xml);
    FUZZ_CHECK(again, "its own XML does not read:\n" + *xml);
    FUZZ_CHECK(fuzz::sameValue(*value, *again),
               "the value changed; written:\n" + *xml + "\nrewritten:\n"
                   + PropertyList::toXmlData(*again).value_or("(none)"));
    return 0;
}
