// The template parser over arbitrary bytes (up to 1 MB, see options/template); every sheet it accepts is
// laid out over a small fixed data document and painted, as the window and vlreport would show it, so
// that expressions, formats and geometry are evaluated and not only read. The cell-text splitter also
// runs on its own over the same bytes.

#include "PaintPages.h"
#include "ReaderChecks.h"

#include "ReportData.h"
#include "ReportTemplate.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// Two departments, one with two employees and one with none, and a detail of another id; the field
// names are the sample's, so that the seeds' cells find their values.
constexpr char DataDocument[] = "<DocumentData><Master>"
    "<Row DeptNo=\"1\" DeptName=\"Sales\" DeptCode=\"001\" PathName=\"Head office/Sales\"/>"
    "<Row DeptNo=\"2\" DeptName=\"&lt;R&amp;D&gt;\" DeptCode=\"001002\" PathName=\"\"/>"
    "</Master><Detail>"
    "<Row __MasterIdx=\"0\" EmpNo=\"E01\" EmpName=\"Li\" Sex=\"F\" Birthday=\"3/7/1980\" Salary=\"4200.5\"/>"
    "<Row __MasterIdx=\"0\" EmpNo=\"E02\" EmpName=\"Wang\" Sex=\"M\" Birthday=\"1999-12-31\" Salary=\"-17\"/>"
    "</Detail><Other>"
    "<Row __MasterIdx=\"1\" A=\"1e308\" B=\"text\"/>"
    "</Other></DocumentData>";

const vl::ReportDataSet& fixedData()
{
    static const vl::ReportDataSet data = [] {
        vl::ReportDataSet parsed;
        if (!vl::parseDataDocument(DataDocument, parsed).ok)
            std::abort();
        return parsed;
    }();
    return data;
}

// A template of many sheets lays each out; beyond a few they add nothing but time.
constexpr std::size_t MaxSheets = 3;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::startGuiApplication();
    (void)fixedData();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    vl::ReportTemplate parsed;
    const vl::ParseResult result = vl::parseTemplate(xml, parsed);
    if (fuzz::accepted(result, parsed.sheets.empty())) {
        for (std::size_t index = 0; index < parsed.sheets.size() && index < MaxSheets; ++index) {
            const vl::TemplateSheet& sheet = parsed.sheets[index];
            if (parsed.sheet(sheet.name) == nullptr)
                std::abort();
            (void)sheet.detailIds();
            fuzz::layoutAndPaint(sheet, fixedData(), index == 0 ? fuzz::Output::ImagesAndPdf : fuzz::Output::Images);
            // Before any data is loaded, as the window shows a template just opened.
            fuzz::layoutAndPaint(sheet, vl::ReportDataSet(), fuzz::Output::None);
        }
    }

    // The cell-text splitter on its own, on the same bytes read as UTF-8.
    std::vector<vl::TextSegment> segments;
    QString reason;
    (void)vl::parseCellText(QString::fromUtf8(xml.data(), static_cast<qsizetype>(xml.size())), segments, reason);
    return 0;
}
