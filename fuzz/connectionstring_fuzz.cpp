// The connection-string parser over arbitrary bytes, then the item lookup on what it returns.

#include "Provider.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vl::ConnectionStringParseResult result = vl::parseConnectionString(text);
    if (!result) {
        // A refusal must point into the text (or just past its end).
        if (result.position == 0 || result.position > size + 1)
            std::abort();
        return 0;
    }
    for (const vl::ConnectionItem& item : result.items)
        (void)vl::connectionItem(result.items, item.name);
    (void)vl::connectionItem(result.items, "Provider");
    (void)vl::connectionItem(result.items, "Data Source");
    return 0;
}
