#pragma once
// The preview of a sheet: laid out over the loaded data by the engine, page by page as they are asked
// for, the same pages the viewer and vlreport give.

#include "ReportData.h"
#include "ReportLayout.h"
#include "ReportTemplate.h"

#include <QDialog>

#include <memory>

class QLabel;

namespace vl::designer {

class PreviewDialog : public QDialog {
    Q_OBJECT
public:
    // Copies the sheet and the data; parameters take their templates' defaults.
    PreviewDialog(const ReportTemplate& report, int sheet, const ReportDataSet& data, QWidget* parent = nullptr);
    ~PreviewDialog() override;

    int page() const { return m_page; }
    int pageCount() const; // laid out so far; final once the last page was asked for
    void showPage(int index); // clamped to the report
    const LaidOutPage& currentPage() const { return m_current; }

private:
    class PageView;

    TemplateSheet m_sheet;
    ReportDataSet m_data;
    std::unique_ptr<ReportLayouter> m_layouter;
    LaidOutPage m_current;
    int m_page = 0;
    PageView* m_view = nullptr;
    QLabel* m_position = nullptr;
};

} // namespace vl::designer
