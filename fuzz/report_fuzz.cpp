// A data document (UTF-8, as vlreport reads it) laid out with every sheet of the sample template and
// painted; then laid out again with the sheet the viewer makes when there is no template.

#include "PaintPages.h"
#include "ReaderChecks.h"

#include "ReportData.h"
#include "ReportLayout.h"
#include "ReportTemplate.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

const vl::ReportTemplate& sampleTemplate()
{
    static const vl::ReportTemplate parsed = [] {
        vl::ReportTemplate result;
        if (!vl::loadTemplateFile(QStringLiteral(VL_SAMPLE_TEMPLATE), result).ok || result.sheets.empty())
            std::abort(); // the target is built wrong: the sample must read
        return result;
    }();
    return parsed;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::startGuiApplication();
    (void)sampleTemplate();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vl::ReportDataSet parsed;
    const vl::ParseResult result
        = vl::parseDataDocument(std::string_view(reinterpret_cast<const char*>(data), size), parsed);
    if (!fuzz::accepted(result, parsed.empty()))
        return 0;
    auto output = fuzz::Output::ImagesAndPdf;
    for (const vl::TemplateSheet& sheet : sampleTemplate().sheets) {
        fuzz::layoutAndPaint(sheet, parsed, output);
        output = fuzz::Output::Images;
    }
    fuzz::layoutAndPaint(vl::defaultSheet(parsed), parsed, fuzz::Output::Images);
    return 0;
}
