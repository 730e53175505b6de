#pragma once
// The control's window: the laid-out pages of the current sheet on the workspace, scrollable and zoomed.

#include "ReportLayout.h"

#include <QAbstractScrollArea>
#include <QColor>

namespace vl {

struct ViewAppearance {
    QColor workspace {0x80, 0x80, 0x80};
    QColor paper {Qt::white};
    QColor pageBorder {Qt::black};
    bool showPageBorder = true;
    double scale = 1.0;
};

class ReportViewWidget : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ReportViewWidget(QWidget* parent = nullptr);

    // The pages to show; the report is copied. Repaints.
    void setReport(const LaidOutReport& report);
    void setAppearance(const ViewAppearance& appearance);
    const LaidOutReport& report() const { return m_report; }
    // Scrolls so that the page's top is in view.
    void showPage(int index);
    // Size of the whole scrolled area in pixels at the current scale.
    QSize documentSize() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double pixelsPerMm() const;
    void updateScrollBars();

    LaidOutReport m_report;
    ViewAppearance m_appearance;
};

} // namespace vl
