// The template parser over arbitrary bytes, and the cell-text splitter over each cell it keeps.

#include "ReportTemplate.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    vl::ReportTemplate parsed;
    const vl::ParseResult result = vl::parseTemplate(xml, parsed);
    if (!result.ok) {
        if (result.message.isEmpty() || !parsed.sheets.empty())
            std::abort(); // a refusal says why and leaves the output untouched
        return 0;
    }
    for (const vl::TemplateSheet& sheet : parsed.sheets) {
        (void)parsed.sheet(sheet.name);
        (void)sheet.detailIds();
    }

    // The cell-text splitter on its own, on the same bytes read as UTF-8.
    std::vector<vl::TextSegment> segments;
    QString reason;
    (void)vl::parseCellText(QString::fromUtf8(xml.data(), static_cast<qsizetype>(xml.size())), segments, reason);
    return 0;
}
