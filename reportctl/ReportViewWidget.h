#pragma once
// The control's window: sheet tabs, the laid-out pages of the current sheet on the workspace (scrolled,
// zoomed, with editable input cells and hyperlinks) and the page navigator.

#include "ReportLayout.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QFrame>
#include <QLineEdit>
#include <QPointer>

#include <functional>
#include <optional>

class QLabel;
class QToolButton;

namespace vl {

struct ViewAppearance {
    QColor workspace {0x80, 0x80, 0x80};
    QColor paper {Qt::white};
    QColor pageBorder {Qt::black};
    bool showPageBorder = true;
    double scale = 1.0;
    bool continuous = false; // pages follow each other without a gap
    bool showSheetTab = true;
    bool sheetTabsOnTop = false;
    bool showNavigator = true;
    QColor tabBack {0xC0, 0xC0, 0xC0}, tabActive {Qt::white}, tabInactive {0xC0, 0xC0, 0xC0};
    QColor tabActiveText {Qt::black}, tabInactiveText {0x40, 0x40, 0x40};
    QColor navigatorBack {0xC0, 0xC0, 0xC0};
    bool showRuler = false;
    QColor rule {0xC0, 0xC0, 0xC0}, ruleOutside {0x80, 0x80, 0x80}, ruleSelected {Qt::red};
    int bevelOuter = 0, bevelInner = 0; // 0 none, 1 lowered, 2 raised
    bool border = false;
    bool ctl3D = true;
    bool editable = false; // input cells take edits
    bool contextMenu = true;
};

// What the view tells its owner. Every member may be empty.
struct ViewCallbacks {
    std::function<void(int sheet)> sheetChosen;
    std::function<void(double scale)> zoomRequested; // Ctrl+wheel and the context menu
    std::function<void(int page)> pageInView;
    std::function<void(const PageItem&)> linkClicked;
    std::function<void(const PageItem&)> inputEntered;
    std::function<void(const PageItem&, const QString& newText)> inputCommitted; // the text as typed
    std::function<void(const PageItem&)> inputLeft;
    std::function<void()> undoRequested;
    // The text to draw for a cell with a value; nullopt keeps the laid-out text. Called while painting.
    std::function<std::optional<QString>(const PageItem&)> displayText;
    std::function<void(const QString& command)> commandChosen; // "print", "preview", "export"
};

// The zoom level after `scale` in the direction of `steps` (positive: larger), from the usual list of
// levels 10 % to 1000 %; a scale between levels moves to the next one.
double zoomStep(double scale, int steps);

class PageArea;
class SheetTabBar;
class RulerBar;

class ReportViewWidget : public QFrame {
    Q_OBJECT
public:
    explicit ReportViewWidget(QWidget* parent = nullptr);
    ~ReportViewWidget() override;

    // The pages to show; the report is copied. Repaints.
    void setReport(const LaidOutReport& report);
    // Pages served on demand: `count` finished pages, more to come unless `complete`.
    void setPages(const PageSetup& setup, std::function<LaidOutPage(int)> pageAt, int count, bool complete);
    void setPageCount(int count, bool complete);
    void setAppearance(const ViewAppearance& appearance);
    void setCallbacks(ViewCallbacks callbacks) { m_callbacks = std::move(callbacks); }
    void setSheets(const QStringList& names, int active);
    // Shows a message in the navigator bar; empty clears it.
    void setMessage(const QString& message);
    // The page as it is drawn (display texts not applied), or an empty page.
    LaidOutPage pageAt(int index) const;
    int pageCount() const { return m_count; }
    bool complete() const { return m_complete; }
    // Scrolls so that the page's top is in view.
    void showPage(int index);
    int currentPage() const;
    // Size of the whole scrolled area in pixels at the current scale.
    QSize documentSize() const;
    QString navigatorText() const;
    const ViewAppearance& appearance() const { return m_appearance; }
    // Where a page item lies on the screen, in the page area's viewport coordinates.
    QRect itemRect(int page, const PageItem& item) const;
    QWidget* pageViewport() const;
    QLineEdit* editor() const { return m_editor; }
    // Ends an input edit, keeping the text (true) or dropping it.
    void finishEdit(bool keep);
    void openEditor(int page, const PageItem& item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class PageArea;
    friend class RulerBar;
    friend class SheetTabBar;
    double pixelsPerMm() const;
    int pageGap() const;
    void updateChrome();
    void updateNavigator();
    void itemClicked(int page, const PageItem& item);

    PageSetup m_setup;
    std::function<LaidOutPage(int)> m_pageAt;
    LaidOutReport m_ownReport;
    int m_count = 1;
    bool m_complete = true;
    ViewAppearance m_appearance;
    ViewCallbacks m_callbacks;
    QFrame* m_inner;
    PageArea* m_area;
    RulerBar* m_ruler;
    SheetTabBar* m_tabs;
    QWidget* m_topBar;
    QWidget* m_bottomBar;
    QWidget* m_navigator;
    QToolButton *m_first, *m_previous, *m_next, *m_last;
    QLabel* m_pageLabel;
    QLabel* m_message;
    QPointer<QLineEdit> m_editor;
    PageItem m_editItem;
    int m_editPage = -1;
};

} // namespace vl
