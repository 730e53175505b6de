#include "ReportLayout.h"

namespace vl {

TemplateSheet defaultSheet(const ReportDataSet& data)
{
    TemplateSheet sheet;
    sheet.name = QStringLiteral("Sheet1");
    const double width = sheet.page.paper.width() - sheet.page.marginLeft - sheet.page.marginRight;
    constexpr double LineHeight = 6.0;

    auto literal = [](const QString& text) { return std::vector<TextSegment>{TextSegment{TextSegment::Literal, text, {}, {}, nullptr}}; };
    auto field = [](const QString& source, const QString& name) {
        return std::vector<TextSegment>{TextSegment{TextSegment::Field, {}, source, name, nullptr}};
    };

    if (data.hasMaster && !data.masterFieldNames.empty()) {
        TemplateBand master;
        master.kind = BandKind::Master;
        const size_t columns = 2;
        const double columnWidth = width / columns;
        const size_t count = data.masterFieldNames.size();
        master.height = LineHeight * static_cast<double>((count + columns - 1) / columns) + 3.0;
        for (size_t i = 0; i < count; ++i) {
            const QString& name = data.masterFieldNames[i];
            TemplateCell label;
            label.x = columnWidth * static_cast<double>(i % columns);
            label.y = 2.0 + LineHeight * static_cast<double>(i / columns);
            label.width = columnWidth * 0.4;
            label.height = LineHeight;
            label.segments = literal(name + u':');
            label.style.bold = true;
            TemplateCell value = label;
            value.x += label.width;
            value.width = columnWidth * 0.6;
            value.segments = field(QStringLiteral("Master"), name);
            value.style.bold = false;
            master.cells.push_back(std::move(label));
            master.cells.push_back(std::move(value));
        }
        sheet.bands.push_back(std::move(master));
    }
    for (const DetailTable& table : data.details) {
        if (table.fieldNames.empty())
            continue;
        const double columnWidth = width / static_cast<double>(table.fieldNames.size());
        TemplateBand header;
        header.kind = BandKind::DetailHeader;
        header.detailId = table.id;
        header.height = LineHeight;
        TemplateBand row = header;
        row.kind = BandKind::Detail;
        for (size_t i = 0; i < table.fieldNames.size(); ++i) {
            TemplateCell cell;
            cell.x = columnWidth * static_cast<double>(i);
            cell.width = columnWidth;
            cell.style.borders = BorderAll;
            cell.style.fontSize = 9.0;
            cell.segments = field(table.id, table.fieldNames[i]);
            row.cells.push_back(cell);
            cell.segments = literal(table.fieldNames[i]);
            cell.style.bold = true;
            cell.style.background = QColor(0xE8, 0xE8, 0xE8);
            header.cells.push_back(std::move(cell));
        }
        TemplateBand gap;
        gap.kind = BandKind::DetailFooter;
        gap.detailId = table.id;
        gap.height = 3.0;
        sheet.bands.push_back(std::move(header));
        sheet.bands.push_back(std::move(row));
        sheet.bands.push_back(std::move(gap));
    }
    return sheet;
}

} // namespace vl
