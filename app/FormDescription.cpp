#include "FormDescription.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <functional>

namespace vl {
namespace {

int scaled(int value, double factor) { return static_cast<int>(std::lround(value * factor)); }

QWidget* createControl(const ControlDescription& c, QWidget* parent)
{
    QWidget* widget = nullptr;
    switch (c.kind) {
    case ControlKind::Panel: {
        auto* panel = new QFrame(parent);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Raised);
        panel->setLineWidth(1);
        widget = panel;
        break;
    }
    case ControlKind::Button:
        widget = new QPushButton(QString::fromUtf16(c.caption), parent);
        break;
    case ControlKind::PageControl:
        widget = new QTabWidget(parent);
        break;
    case ControlKind::TabSheet: {
        auto* pages = qobject_cast<QTabWidget*>(parent);
        widget = new QWidget;
        if (pages)
            pages->addTab(widget, QString::fromUtf16(c.caption));
        break;
    }
    case ControlKind::Memo: {
        auto* memo = new QPlainTextEdit(parent);
        memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setTabChangesFocus(false);
        widget = memo;
        break;
    }
    }
    widget->setObjectName(QString::fromLatin1(c.name));
    return widget;
}

// Aligned children are laid out by a box layout on their parent, in description order, which
// keeps top-aligned controls at their height and gives the client-aligned one the rest.
QVBoxLayout* alignLayoutOf(QWidget* parent)
{
    if (auto* existing = qobject_cast<QVBoxLayout*>(parent->layout()))
        return existing;
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

} // namespace

double formScale(const FormDescription& description, const QWidget* window)
{
    const QScreen* screen = window && window->screen() ? window->screen() : nullptr;
    const double dpi = screen ? screen->logicalDotsPerInchY() : description.designPixelsPerInch;
    return dpi / description.designPixelsPerInch;
}

std::map<std::string, QWidget*> loadFormDescription(const FormDescription& description, QWidget* window)
{
    const double factor = formScale(description, window);
    QFont font(QString::fromLatin1(description.fontName));
    font.setPixelSize(std::max(1, scaled(-description.fontHeight, factor)));
    window->setFont(font);
    window->setWindowTitle(QString::fromUtf8(description.caption));
    window->resize(scaled(description.clientWidth, factor), scaled(description.clientHeight, factor));
    window->move(description.left, description.top);

    std::map<std::string, QWidget*> byName;
    std::vector<std::pair<int, QWidget*>> tabStops;
    for (const auto& c : description.controls) {
        QWidget* parent = c.parent && *c.parent ? byName.at(c.parent) : window;
        QWidget* widget = createControl(c, parent);
        byName[c.name] = widget;
        if (c.kind == ControlKind::TabSheet)
            continue;
        switch (c.align) {
        case ControlAlign::Top:
            widget->setFixedHeight(scaled(c.height, factor));
            alignLayoutOf(parent)->addWidget(widget);
            break;
        case ControlAlign::Client:
            alignLayoutOf(parent)->addWidget(widget, 1);
            break;
        case ControlAlign::None:
            widget->setGeometry(scaled(c.left, factor), scaled(c.top, factor), scaled(c.width, factor),
                                scaled(c.height, factor));
            break;
        }
        if (c.tabOrder >= 0)
            tabStops.emplace_back(c.tabOrder, widget);
        else
            widget->setFocusPolicy(Qt::NoFocus);
    }
    // The tab chain visits each parent's tab stops in their numbered order, a container's own
    // stops right after the container.
    std::vector<QWidget*> chain;
    std::function<void(QWidget*)> visit = [&](QWidget* parent) {
        std::vector<std::pair<int, QWidget*>> children;
        for (const auto& [order, widget] : tabStops)
            if (widget->parentWidget() == parent)
                children.emplace_back(order, widget);
        std::stable_sort(children.begin(), children.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& child : children) {
            chain.push_back(child.second);
            visit(child.second);
        }
    };
    visit(window);
    for (size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    return byName;
}

} // namespace vl
