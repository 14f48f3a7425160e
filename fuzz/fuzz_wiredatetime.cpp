// The wire date-time parser, and the writer on every instant it accepts.
#include "expect.h"
#include <framework/data/wiredatetime.h>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto msecs = fw::parseWireDateTime(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!msecs)
        return 0;
    const QByteArray text = fw::formatWireDateTime(*msecs);
    const auto again = fw::parseWireDateTime(text.constData(), text.size());
    expect(again.has_value(), "a written date-time is refused");
    // Only instants past the years 0000..9999 in local time are written clamped.
    if (!text.startsWith("0000") && !text.startsWith("9999"))
        expect(*again == *msecs, "a written date-time reads back as another instant");
    return 0;
}
