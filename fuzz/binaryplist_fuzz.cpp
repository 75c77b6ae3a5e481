// The binary reader and writer as a pair: a value PropertyList::fromData()
// reads (from binary or XML bytes) is always written by toBinaryData(), reads
// back the same, with the same types, doubles and dates to the bit, and is
// written again as the very same bytes.
#include "fuzz/fuzzsupport.h"
#include "platform/propertylist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<QVariant> value = PropertyList::fromData(fuzz::bytes(data, size));
    if (!value)
        return 0;
    const std::optional<QByteArray> binary = PropertyList::toBinaryData(*value);
    FUZZ_CHECK(binary, QByteArray("a value read cannot be written"));
    const std::optional<QVariant> again = PropertyList::fromData(*binary);
    FUZZ_CHECK(again, "its own binary list does not read:\n" + fuzz::printable(*binary));
    FUZZ_CHECK(fuzz::sameValue(*value, *again),
               "the value changed; written:\n" + fuzz::printable(*binary) + "\nas XML:\n"
                   + PropertyList::toXmlData(*value).value_or("(none)") + "\nread back as:\n"
                   + PropertyList::toXmlData(*again).value_or("(none)"));
    FUZZ_CHECK(PropertyList::toBinaryData(*again) == binary,
               "written again, other bytes than:\n" + fuzz::printable(*binary));
    return 0;
}
