// The comma-text rule over arbitrary bytes. Besides memory safety it checks what the rule
// promises: splitting never invents text, and a field list never keeps a blank.

#include "CommaText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::size_t total = 0;
    for (const std::string& item : vl::splitCommaText(text)) {
        total += item.size();
        (void)vl::relationNamePart(item);
        (void)vl::relationValuePart(item);
    }
    // Quotes and separators are only ever dropped, so the items together are never longer.
    if (total > size)
        std::abort();

    for (const std::string& item : vl::splitFieldList(text)) {
        if (item.find(' ') != std::string::npos)
            std::abort();
    }
    return 0;
}
