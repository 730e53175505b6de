// The data-document reader fed the way the control feeds it: the document arrives as UTF-16 code
// units (any length, lone surrogates included), is read where it stands and kept. The first byte picks
// whether the input is UTF-16 or UTF-8, so both the decoder and the reader are reached.

#include "ReaderChecks.h"
#include "ReportData.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool utf16 = (data[0] & 1) != 0;
    ++data;
    --size;

    vl::ReportDataSet parsed;
    vl::ParseResult result;
    if (utf16) {
        // An odd trailing byte is kept as a unit of its own rather than dropped.
        std::vector<char16_t> units((size + 1) / 2, u'\0');
        if (size > 0)
            std::memcpy(units.data(), data, size);
        const QString text = QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
        result = vl::parseDataDocument(QStringView(text), parsed);
        // Read where it stands, then kept: the text comes back as given.
        if (result.ok && parsed.text() != text)
            std::abort();
    } else {
        result = vl::parseDataDocument(std::string_view(reinterpret_cast<const char*>(data), size), parsed);
    }
    if (!fuzz::accepted(result, parsed.empty()))
        return 0;
    for (const vl::DetailTable& detail : parsed.details) {
        if (parsed.hasMaster && detail.groups.size() != parsed.masterRows.size())
            std::abort();
        for (const std::vector<int>& group : detail.groups) {
            for (int index : group) {
                if (index < 0 || static_cast<size_t>(index) >= detail.rows.size())
                    std::abort();
            }
        }
        (void)parsed.detail(detail.id);
    }
    // Every value is read back from the parsed text, by position and by name.
    auto readAll = [](const std::vector<vl::DataRow>& rows) {
        for (const vl::DataRow& row : rows) {
            for (size_t i = 0; i < row.fieldCount(); ++i) {
                const QString name = row.fieldName(i);
                if (!row.value(name))
                    std::abort();
                (void)row.fieldValue(i);
            }
        }
    };
    readAll(parsed.masterRows);
    for (const vl::DetailTable& detail : parsed.details)
        readAll(detail.rows);
    return 0;
}
