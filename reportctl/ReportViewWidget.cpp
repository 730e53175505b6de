#include "ReportViewWidget.h"

#include "ReportPainter.h"

#include <QBoxLayout>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vl {

namespace {
constexpr int PageGap = 16; // pixels around and between pages in page view
// The tallest document the scroll bars are given; half of int, so that sums with a view's size still fit.
constexpr qint64 MaxDocumentHeight = std::numeric_limits<int>::max() / 2;
constexpr int TabHeight = 22;
constexpr int RulerHeight = 18;
constexpr double ZoomLevels[] = {0.1, 0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0, 6.0, 8.0, 10.0};
} // namespace

double zoomStep(double scale, int steps)
{
    for (; steps > 0; --steps) {
        const double* next = std::upper_bound(std::begin(ZoomLevels), std::end(ZoomLevels), scale + 1e-9);
        scale = next == std::end(ZoomLevels) ? ZoomLevels[std::size(ZoomLevels) - 1] : *next;
    }
    for (; steps < 0; ++steps) {
        const double* previous = std::lower_bound(std::begin(ZoomLevels), std::end(ZoomLevels), scale - 1e-9);
        scale = previous == std::begin(ZoomLevels) ? ZoomLevels[0] : *(previous - 1);
    }
    return scale;
}

// The scrolled workspace with the pages.
class PageArea final : public QAbstractScrollArea {
public:
    explicit PageArea(ReportViewWidget* owner) : QAbstractScrollArea(owner), m_owner(owner)
    {
        setFrameShape(QFrame::NoFrame);
        viewport()->setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
    }

    void updateScrollBars()
    {
        const QSize document = m_owner->documentSize();
        const QSize view = viewport()->size();
        horizontalScrollBar()->setRange(0, std::max(0, document.width() - view.width()));
        horizontalScrollBar()->setPageStep(view.width());
        horizontalScrollBar()->setSingleStep(20);
        verticalScrollBar()->setRange(0, std::max(0, document.height() - view.height()));
        verticalScrollBar()->setPageStep(view.height());
        verticalScrollBar()->setSingleStep(20);
    }

    QSizeF pageSize() const
    {
        const double ppm = m_owner->pixelsPerMm();
        return {m_owner->m_setup.paper.width() * ppm, m_owner->m_setup.paper.height() * ppm};
    }

    int pageStride() const { return static_cast<int>(pageSize().height()) + m_owner->pageGap(); }

    QPointF pageOrigin(int index) const
    {
        const int gap = m_owner->pageGap();
        const QSize document = m_owner->documentSize();
        // Narrow documents stay centred in a wide view.
        const double left = std::max(0, (viewport()->width() - document.width()) / 2) + gap - horizontalScrollBar()->value();
        const double top = gap + static_cast<double>(index) * pageStride() - verticalScrollBar()->value();
        return {left, top};
    }

    // The page and item under a viewport point.
    bool itemAt(QPoint point, int& page, PageItem& found) const
    {
        const int stride = pageStride();
        if (stride <= 0)
            return false;
        const int index = (point.y() + verticalScrollBar()->value() - m_owner->pageGap()) / stride;
        if (index < 0 || index >= m_owner->m_count)
            return false;
        const QPointF origin = pageOrigin(index);
        const double ppm = m_owner->pixelsPerMm();
        const QPointF mm((point.x() - origin.x()) / ppm, (point.y() - origin.y()) / ppm);
        const LaidOutPage content = m_owner->pageAt(index);
        for (auto item = content.items.rbegin(); item != content.items.rend(); ++item) {
            if (item->rect.contains(mm) && item->cell && (item->cell->input || !item->link.isEmpty())) {
                page = index;
                found = *item;
                return true;
            }
        }
        return false;
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QAbstractScrollArea::resizeEvent(event);
        updateScrollBars();
        m_owner->updateNavigator();
    }

    void scrollContentsBy(int dx, int dy) override
    {
        QAbstractScrollArea::scrollContentsBy(dx, dy);
        if (m_owner->m_editor)
            m_owner->finishEdit(true);
        m_owner->updateNavigator();
        if (m_owner->m_callbacks.pageInView)
            m_owner->m_callbacks.pageInView(m_owner->currentPage());
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(viewport());
        const ViewAppearance& look = m_owner->m_appearance;
        painter.fillRect(viewport()->rect(), look.workspace);
        painter.setRenderHint(QPainter::Antialiasing);
        const double ppm = m_owner->pixelsPerMm();
        const QSizeF size = pageSize();
        const int stride = pageStride();
        if (stride <= 0)
            return;
        const int first = std::max(0, (verticalScrollBar()->value() - m_owner->pageGap()) / stride);
        for (int index = first; index < m_owner->m_count; ++index) {
            const QRectF paper(pageOrigin(index), size);
            if (paper.top() > viewport()->height())
                break;
            painter.fillRect(paper, look.paper);
            LaidOutPage content = m_owner->pageAt(index);
            if (m_owner->m_callbacks.displayText) {
                for (PageItem& item : content.items)
                    if (item.bound)
                        if (std::optional<QString> text = m_owner->m_callbacks.displayText(item))
                            item.text = *text;
            }
            paintPage(painter, content, paper.topLeft(), ppm);
            if (look.showPageBorder) {
                painter.setPen(look.pageBorder);
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(paper);
            }
        }
        if (!m_owner->m_complete) {
            // Pages still being laid out: a placeholder below the last one finished.
            const QRectF next(pageOrigin(m_owner->m_count), size);
            if (next.top() < viewport()->height()) {
                painter.fillRect(next, look.paper.darker(105));
                painter.setPen(Qt::darkGray);
                painter.drawText(next, Qt::AlignCenter, QStringLiteral("Laying out pages..."));
            }
        }
    }

    void wheelEvent(QWheelEvent* event) override
    {
        if (event->modifiers() & Qt::ControlModifier) {
            // Touchpads send small deltas: a zoom step per whole notch.
            m_wheelZoom += event->angleDelta().y();
            const int steps = m_wheelZoom / 120;
            m_wheelZoom -= steps * 120;
            if (steps != 0 && m_owner->m_callbacks.zoomRequested)
                m_owner->m_callbacks.zoomRequested(zoomStep(m_owner->m_appearance.scale, steps));
            event->accept();
            return;
        }
        QAbstractScrollArea::wheelEvent(event);
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        int page = -1;
        PageItem item;
        Qt::CursorShape shape = Qt::ArrowCursor;
        if (itemAt(event->position().toPoint(), page, item))
            shape = !item.link.isEmpty() ? Qt::PointingHandCursor : m_owner->m_appearance.editable ? Qt::IBeamCursor : Qt::ArrowCursor;
        viewport()->setCursor(shape);
        QAbstractScrollArea::mouseMoveEvent(event);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        setFocus();
        if (m_owner->m_editor)
            m_owner->finishEdit(true);
        int page = -1;
        PageItem item;
        if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint(), page, item)) {
            m_owner->itemClicked(page, item);
            event->accept();
            return;
        }
        QAbstractScrollArea::mousePressEvent(event);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->matches(QKeySequence::Undo) && m_owner->m_callbacks.undoRequested) {
            m_owner->m_callbacks.undoRequested();
            return;
        }
        QAbstractScrollArea::keyPressEvent(event);
    }

    void contextMenuEvent(QContextMenuEvent* event) override
    {
        if (!m_owner->m_appearance.contextMenu)
            return;
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        auto zoom = [this](double scale) {
            if (m_owner->m_callbacks.zoomRequested)
                m_owner->m_callbacks.zoomRequested(scale);
        };
        const double scale = m_owner->m_appearance.scale;
        menu->addAction(QStringLiteral("Zoom In"), this, [zoom, scale] { zoom(zoomStep(scale, 1)); });
        menu->addAction(QStringLiteral("Zoom Out"), this, [zoom, scale] { zoom(zoomStep(scale, -1)); });
        menu->addAction(QStringLiteral("Actual Size"), this, [zoom] { zoom(1.0); });
        menu->addAction(QStringLiteral("Fit Width"), this, [this, zoom, scale] {
            const double width = pageSize().width() + 2 * m_owner->pageGap();
            if (width > 0)
                zoom(scale * viewport()->width() / width);
        });
        menu->addSeparator();
        for (const auto& [caption, command] :
             {std::pair {"Print...", "print"}, std::pair {"Preview...", "preview"}, std::pair {"Export...", "export"}}) {
            const QString name = QString::fromLatin1(command);
            menu->addAction(QString::fromLatin1(caption), this, [this, name] {
                if (m_owner->m_callbacks.commandChosen)
                    m_owner->m_callbacks.commandChosen(name);
            });
        }
        menu->popup(event->globalPos()); // not exec(): the host's loop keeps running
    }

private:
    ReportViewWidget* m_owner;
    int m_wheelZoom = 0;
};

// The sheet tabs, painted in the control's own colours.
class SheetTabBar final : public QWidget {
public:
    explicit SheetTabBar(ReportViewWidget* owner) : QWidget(owner), m_owner(owner) { setFixedHeight(TabHeight); }

    QStringList names;
    int active = 0;

    QRect tabRect(int index) const
    {
        int x = 4;
        for (int i = 0; i < names.size(); ++i) {
            const int width = fontMetrics().horizontalAdvance(names[i]) + 24;
            if (i == index)
                return QRect(x, 0, width, height());
            x += width - 1;
        }
        return {};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const ViewAppearance& look = m_owner->m_appearance;
        painter.fillRect(rect(), look.tabBack);
        for (int i = 0; i < names.size(); ++i) {
            const QRect tab = tabRect(i).adjusted(0, look.sheetTabsOnTop ? 2 : 0, 0, look.sheetTabsOnTop ? 0 : -2);
            painter.fillRect(tab, i == active ? look.tabActive : look.tabInactive);
            painter.setPen(Qt::darkGray);
            painter.drawRect(tab.adjusted(0, 0, -1, -1));
            painter.setPen(i == active ? look.tabActiveText : look.tabInactiveText);
            QFont font = painter.font();
            font.setBold(i == active);
            painter.setFont(font);
            painter.drawText(tab, Qt::AlignCenter, names[i]);
        }
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        for (int i = 0; i < names.size(); ++i) {
            if (tabRect(i).contains(event->position().toPoint())) {
                if (i != active && m_owner->m_callbacks.sheetChosen)
                    m_owner->m_callbacks.sheetChosen(i);
                return;
            }
        }
    }

private:
    ReportViewWidget* m_owner;
};

// A millimetre ruler over the page width, marking the cell being edited.
class RulerBar final : public QWidget {
public:
    explicit RulerBar(ReportViewWidget* owner) : QWidget(owner), m_owner(owner) { setFixedHeight(RulerHeight); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const ViewAppearance& look = m_owner->m_appearance;
        painter.fillRect(rect(), look.ruleOutside);
        const double ppm = m_owner->pixelsPerMm();
        // Both lie inside the owner; the ruler is no ancestor of the viewport.
        const QPoint offset = m_owner->m_area->viewport()->mapTo(m_owner, QPoint(0, 0)) - mapTo(m_owner, QPoint(0, 0));
        const double left = m_owner->m_area->pageOrigin(0).x() + offset.x();
        const double width = m_owner->m_setup.paper.width() * ppm;
        painter.fillRect(QRectF(left, 0, width, height()), look.rule);
        if (m_owner->m_editor) {
            const QRectF cell = m_owner->m_editItem.rect;
            painter.fillRect(QRectF(left + cell.left() * ppm, 0, cell.width() * ppm, height()), look.ruleSelected);
        }
        painter.setPen(Qt::black);
        for (int mm = 0; mm <= static_cast<int>(m_owner->m_setup.paper.width()); ++mm) {
            const double x = left + mm * ppm;
            const int tick = mm % 10 == 0 ? 8 : mm % 5 == 0 ? 5 : 3;
            if (mm % 10 != 0 && ppm < 3)
                continue; // too dense to read
            painter.drawLine(QPointF(x, height() - tick), QPointF(x, height()));
            if (mm % 10 == 0 && mm > 0)
                painter.drawText(QRectF(x - 15, 0, 30, height() - 6), Qt::AlignCenter, QString::number(mm / 10));
        }
    }

private:
    ReportViewWidget* m_owner;
};

ReportViewWidget::ReportViewWidget(QWidget* parent) : QFrame(parent)
{
    m_ownReport.pages.emplace_back();
    m_pageAt = [this](int index) { return m_ownReport.pages.at(static_cast<size_t>(index)); };

    m_inner = new QFrame(this);
    m_area = new PageArea(this);
    m_ruler = new RulerBar(this);
    m_tabs = new SheetTabBar(this);
    m_topBar = new QWidget(this);
    m_bottomBar = new QWidget(this);
    m_bottomBar->setAutoFillBackground(true);
    m_navigator = new QWidget(m_bottomBar);
    auto button = [this](const QString& text, const QString& tip) {
        auto* b = new QToolButton(m_navigator);
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        return b;
    };
    m_first = button(QStringLiteral("|<"), QStringLiteral("First page"));
    m_previous = button(QStringLiteral("<"), QStringLiteral("Previous page"));
    m_next = button(QStringLiteral(">"), QStringLiteral("Next page"));
    m_last = button(QStringLiteral(">|"), QStringLiteral("Last page"));
    m_pageLabel = new QLabel(m_navigator);
    m_message = new QLabel(m_bottomBar);
    m_message->setTextFormat(Qt::PlainText);
    auto* navigatorLayout = new QHBoxLayout(m_navigator);
    navigatorLayout->setContentsMargins(2, 0, 2, 0);
    navigatorLayout->setSpacing(1);
    navigatorLayout->addWidget(m_first);
    navigatorLayout->addWidget(m_previous);
    navigatorLayout->addWidget(m_pageLabel);
    navigatorLayout->addWidget(m_next);
    navigatorLayout->addWidget(m_last);
    connect(m_first, &QToolButton::clicked, this, [this] { showPage(0); });
    connect(m_previous, &QToolButton::clicked, this, [this] { showPage(currentPage() - 1); });
    connect(m_next, &QToolButton::clicked, this, [this] { showPage(currentPage() + 1); });
    connect(m_last, &QToolButton::clicked, this, [this] { showPage(m_count - 1); });

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_inner);
    auto* column = new QVBoxLayout(m_inner);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    new QHBoxLayout(m_topBar);
    m_topBar->layout()->setContentsMargins(0, 0, 0, 0);
    auto* bottom = new QHBoxLayout(m_bottomBar);
    bottom->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_topBar);
    column->addWidget(m_ruler);
    column->addWidget(m_area, 1);
    column->addWidget(m_bottomBar);
    setFrameShape(QFrame::NoFrame);
    updateChrome();
}

ReportViewWidget::~ReportViewWidget() = default;

void ReportViewWidget::setReport(const LaidOutReport& report)
{
    m_ownReport = report;
    if (m_ownReport.pages.empty())
        m_ownReport.pages.emplace_back();
    setPages(m_ownReport.page, [this](int index) { return m_ownReport.pages.at(static_cast<size_t>(index)); },
             static_cast<int>(m_ownReport.pages.size()), true);
}

void ReportViewWidget::setPages(const PageSetup& setup, std::function<LaidOutPage(int)> pageAt, int count, bool complete)
{
    if (m_editor)
        finishEdit(false);
    m_setup = setup;
    m_pageAt = std::move(pageAt);
    setPageCount(count, complete);
}

void ReportViewWidget::setPageCount(int count, bool complete)
{
    m_count = std::max(0, count);
    m_complete = complete;
    m_area->updateScrollBars();
    updateNavigator();
    m_area->viewport()->update();
}

LaidOutPage ReportViewWidget::pageAt(int index) const
{
    if (index < 0 || index >= m_count || !m_pageAt)
        return {};
    return m_pageAt(index);
}

void ReportViewWidget::setAppearance(const ViewAppearance& appearance)
{
    const bool rescaled = appearance.scale != m_appearance.scale || appearance.continuous != m_appearance.continuous;
    const int page = currentPage();
    QScrollBar* horizontal = m_area->horizontalScrollBar();
    // Zooming keeps the middle of the view where it was across the page.
    const double middle = (horizontal->value() + m_area->viewport()->width() / 2.0) / std::max(1, documentSize().width());
    m_appearance = appearance;
    updateChrome();
    m_area->updateScrollBars();
    if (rescaled) {
        showPage(page);
        horizontal->setValue(static_cast<int>(middle * documentSize().width() - m_area->viewport()->width() / 2.0));
    }
    updateNavigator();
    m_area->viewport()->update();
    m_ruler->update();
    m_tabs->update();
}

void ReportViewWidget::setSheets(const QStringList& names, int active)
{
    m_tabs->names = names;
    m_tabs->active = active;
    m_tabs->update();
}

void ReportViewWidget::setMessage(const QString& message)
{
    m_message->setText(message);
    m_message->setToolTip(message);
}

void ReportViewWidget::updateChrome()
{
    const ViewAppearance& look = m_appearance;
    auto shadow = [](int bevel) { return bevel == 2 ? QFrame::Raised : QFrame::Sunken; };
    if (look.border) {
        setFrameShape(look.ctl3D ? QFrame::StyledPanel : QFrame::Box);
        setFrameShadow(look.ctl3D ? QFrame::Sunken : QFrame::Plain);
    } else if (look.bevelOuter) {
        setFrameShape(QFrame::Panel);
        setFrameShadow(shadow(look.bevelOuter));
    } else {
        setFrameShape(QFrame::NoFrame);
    }
    m_inner->setFrameShape(look.bevelInner ? QFrame::Panel : QFrame::NoFrame);
    m_inner->setFrameShadow(shadow(look.bevelInner));
    m_ruler->setVisible(look.showRuler);

    // Tabs at the top get a bar of their own; at the bottom they share the bar with the navigator.
    QLayout* top = m_topBar->layout();
    auto* bottom = static_cast<QHBoxLayout*>(m_bottomBar->layout());
    top->removeWidget(m_tabs);
    bottom->removeWidget(m_tabs);
    bottom->removeWidget(m_message);
    bottom->removeWidget(m_navigator);
    if (look.sheetTabsOnTop)
        top->addWidget(m_tabs);
    else
        bottom->addWidget(m_tabs, 1);
    bottom->addWidget(m_message, look.sheetTabsOnTop || !look.showSheetTab ? 1 : 0);
    bottom->addWidget(m_navigator);
    m_tabs->setVisible(look.showSheetTab);
    m_navigator->setVisible(look.showNavigator);
    m_topBar->setVisible(look.showSheetTab && look.sheetTabsOnTop);
    m_bottomBar->setVisible(look.showNavigator || (look.showSheetTab && !look.sheetTabsOnTop) || !m_message->text().isEmpty());
    QPalette palette = m_bottomBar->palette();
    palette.setColor(QPalette::Window, look.showNavigator ? look.navigatorBack : look.tabBack);
    m_bottomBar->setPalette(palette);
}

double ReportViewWidget::pixelsPerMm() const
{
    return logicalDpiX() / 25.4 * m_appearance.scale;
}

int ReportViewWidget::pageGap() const
{
    return m_appearance.continuous ? 0 : PageGap;
}

QSize ReportViewWidget::documentSize() const
{
    const double ppm = pixelsPerMm();
    const int gap = pageGap();
    const int width = static_cast<int>(m_setup.paper.width() * ppm) + 2 * gap;
    const int pageHeight = static_cast<int>(m_setup.paper.height() * ppm);
    const int pages = m_count + (m_complete ? 0 : 1);
    // Scroll bars count in int: a long report of tall pages at a high zoom is cut where int ends rather
    // than wrapped to a negative height.
    const qint64 height = qint64(pages) * (pageHeight + gap) + gap;
    return QSize(width, static_cast<int>(std::min<qint64>(height, MaxDocumentHeight)));
}

void ReportViewWidget::showPage(int index)
{
    index = std::clamp(index, 0, std::max(0, m_count - 1));
    const qint64 top = qint64(index) * m_area->pageStride();
    m_area->verticalScrollBar()->setValue(static_cast<int>(std::min<qint64>(top, MaxDocumentHeight)));
    updateNavigator();
}

int ReportViewWidget::currentPage() const
{
    const int stride = m_area->pageStride();
    if (stride <= 0 || m_count <= 0)
        return 0;
    // The page that holds the upper third of the view.
    const int y = m_area->verticalScrollBar()->value() + m_area->viewport()->height() / 3;
    return std::clamp(y / stride, 0, m_count - 1);
}

QString ReportViewWidget::navigatorText() const
{
    return QStringLiteral("Page %1 of %2%3").arg(m_count ? currentPage() + 1 : 0).arg(m_count).arg(m_complete ? QString() : QStringLiteral("..."));
}

void ReportViewWidget::updateNavigator()
{
    const int page = currentPage();
    m_pageLabel->setText(navigatorText());
    m_first->setEnabled(page > 0);
    m_previous->setEnabled(page > 0);
    m_next->setEnabled(page + 1 < m_count);
    m_last->setEnabled(page + 1 < m_count);
    m_ruler->update();
}

QRect ReportViewWidget::itemRect(int page, const PageItem& item) const
{
    const double ppm = pixelsPerMm();
    const QPointF origin = m_area->pageOrigin(page);
    return QRectF(origin.x() + item.rect.x() * ppm, origin.y() + item.rect.y() * ppm, item.rect.width() * ppm,
                  item.rect.height() * ppm)
        .toAlignedRect();
}

QWidget* ReportViewWidget::pageViewport() const
{
    return m_area->viewport();
}

void ReportViewWidget::itemClicked(int page, const PageItem& item)
{
    if (!item.link.isEmpty()) {
        if (m_callbacks.linkClicked)
            m_callbacks.linkClicked(item);
        return;
    }
    if (item.cell && item.cell->input && m_appearance.editable)
        openEditor(page, item);
}

void ReportViewWidget::openEditor(int page, const PageItem& item)
{
    if (m_editor)
        finishEdit(true);
    m_editItem = item;
    m_editPage = page;
    auto* editor = new QLineEdit(m_area->viewport());
    m_editor = editor;
    editor->setFrame(false);
    editor->setText(item.value.isNull() ? item.text : item.value);
    editor->setGeometry(itemRect(page, item));
    QFont font(item.style.fontFamily);
    font.setPointSizeF(std::max(1.0, item.style.fontSize * m_appearance.scale));
    editor->setFont(font);
    editor->setAlignment(item.style.alignment);
    connect(editor, &QLineEdit::returnPressed, this, [this] { finishEdit(true); });
    editor->installEventFilter(this);
    if (m_callbacks.inputEntered)
        m_callbacks.inputEntered(item);
    editor->show();
    editor->setFocus();
    editor->selectAll();
    m_ruler->update();
}

bool ReportViewWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_editor.data()) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            finishEdit(false);
            return true;
        }
        if (event->type() == QEvent::FocusOut) {
            finishEdit(true);
            return false;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void ReportViewWidget::finishEdit(bool keep)
{
    if (!m_editor)
        return;
    QPointer<QLineEdit> editor = m_editor;
    m_editor.clear();
    const QString text = editor->text();
    editor->hide();
    editor->deleteLater();
    const PageItem item = m_editItem;
    if (keep && m_callbacks.inputCommitted)
        m_callbacks.inputCommitted(item, text);
    if (m_callbacks.inputLeft)
        m_callbacks.inputLeft(item);
    m_area->viewport()->update();
    m_ruler->update();
}

} // namespace vl
