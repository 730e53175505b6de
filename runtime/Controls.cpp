#include "Controls.h"

#include "Application.h"
#include "Text.h"

#include <QEvent>
#include <QFont>
#include <QObject>
#include <QWidget>

namespace vl
{
// Watches one widget for a control: the parent for show, resize, font and palette changes, or
// the control's own window for its events and its destruction.
class ControlWatcher : public QObject
{
public:
    enum class Role { Parent, Window };
    ControlWatcher(TControl* control, QWidget* watched, Role role)
        : m_control(control)
        , m_watched(watched)
        , m_role(role)
    {
        watched->installEventFilter(this);
        QObject::connect(watched, &QObject::destroyed, this, [this] { watchedDestroyed(); });
    }
    ~ControlWatcher() override
    {
        if (m_watched)
            m_watched->removeEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_watched)
            return false;
        if (m_role == Role::Parent) {
            m_control->parentEvent(event);
            return false;
        }
        return static_cast<TWinControl*>(m_control)->WindowEvent(event);
    }

private:
    void watchedDestroyed()
    {
        if (m_role == Role::Parent)
            m_control->parentDestroyed();
        else
            static_cast<TWinControl*>(m_control)->windowDestroyed();
    }

    TControl* m_control;
    QPointer<QWidget> m_watched;
    Role m_role;
};

namespace
{
TColor colorOf(const QColor& color)
{
    return static_cast<TColor>(color.red() | (color.green() << 8) | (color.blue() << 16));
}
} // namespace
} // namespace vl

TFont TFont::fromQFont(const QFont& font, TColor color)
{
    TFont result;
    result.Name = vl::toNarrow(font.family().toStdU16String());
    if (font.pointSize() > 0)
        result.Size = font.pointSize();
    result.Color = color;
    result.Bold = font.bold();
    result.Italic = font.italic();
    result.Underline = font.underline();
    result.StrikeOut = font.strikeOut();
    return result;
}

QFont TFont::toQFont() const
{
    QFont font(QString::fromStdU16String(vl::toWide(Name)), Size);
    font.setBold(Bold);
    font.setItalic(Italic);
    font.setUnderline(Underline);
    font.setStrikeOut(StrikeOut);
    return font;
}

TControl::TControl(TComponent* owner)
    : TComponent(owner)
{
}

TControl::~TControl() = default;

void TControl::SetParent(QWidget* parent)
{
    if (parent == m_parent)
        return;
    m_watcher.reset();
    m_parent = parent;
    if (parent)
        m_watcher = std::make_unique<vl::ControlWatcher>(this, parent, vl::ControlWatcher::Role::Parent);
    ParentChanged();
    Realign();
}

void TControl::SetParent(TWinControl* parent)
{
    SetParent(parent ? parent->Handle() : nullptr);
}

void TControl::SetAlign(TAlign align)
{
    m_align = align;
    Realign();
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    SetBoundsCore(left, top, width, height);
}

void TControl::SetBoundsCore(int left, int top, int width, int height)
{
    const QRect bounds(left, top, std::max(width, 0), std::max(height, 0));
    if (bounds == m_bounds)
        return;
    m_bounds = bounds;
    BoundsChanged();
}

void TControl::Realign()
{
    if (!m_parent || m_align == alNone)
        return;
    const QRect area = m_parent->contentsRect();
    switch (m_align) {
    case alNone:
        break;
    case alTop:
        SetBounds(area.left(), area.top(), area.width(), Height());
        break;
    case alBottom:
        SetBounds(area.left(), area.bottom() + 1 - Height(), area.width(), Height());
        break;
    case alLeft:
        SetBounds(area.left(), area.top(), Width(), area.height());
        break;
    case alRight:
        SetBounds(area.right() + 1 - Width(), area.top(), Width(), area.height());
        break;
    case alClient:
        SetBounds(area.left(), area.top(), area.width(), area.height());
        break;
    }
}

void TControl::SetVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    VisibleChanged();
}

void TControl::SetEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    EnabledChanged();
}

TColor TControl::Color() const
{
    return m_parentColor && m_parent ? ParentWindowColor() : m_color;
}

TFont TControl::Font() const
{
    return m_parentFont && m_parent ? ParentWindowFont() : m_font;
}

void TControl::SetColor(TColor color)
{
    m_parentColor = false;
    if (color == m_color)
        return;
    m_color = color;
    ColorChanged();
}

void TControl::SetFont(const TFont& font)
{
    m_parentFont = false;
    if (font == m_font)
        return;
    m_font = font;
    FontChanged();
}

TFont TControl::ParentWindowFont() const
{
    if (!m_parent)
        return TFont();
    return TFont::fromQFont(m_parent->font(), vl::colorOf(m_parent->palette().color(QPalette::WindowText)));
}

TColor TControl::ParentWindowColor() const
{
    if (!m_parent)
        return clBtnFace;
    return vl::colorOf(m_parent->palette().color(QPalette::Window));
}

void TControl::Click()
{
    if (OnClick)
        OnClick(this);
}

void TControl::DblClick()
{
    if (OnDblClick)
        OnDblClick(this);
}

void TControl::KeyDown(uint16_t& key, TShiftState shift)
{
    if (OnKeyDown)
        OnKeyDown(this, key, shift);
}

void TControl::KeyPress(char& key)
{
    if (OnKeyPress)
        OnKeyPress(this, key);
}

void TControl::KeyUp(uint16_t& key, TShiftState shift)
{
    if (OnKeyUp)
        OnKeyUp(this, key, shift);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y)
{
    if (OnMouseMove)
        OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TControl::parentEvent(QEvent* event)
{
    // Nothing may escape into Qt's event delivery; a failure is shown as a command's would be.
    runGuarded([&] { dispatchParentEvent(event); });
}

void TControl::dispatchParentEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
        ParentShown();
        break;
    case QEvent::Resize:
        Realign();
        break;
    case QEvent::FontChange:
        if (m_parentFont)
            ParentFontChanged();
        break;
    case QEvent::PaletteChange:
        if (m_parentColor)
            ParentColorChanged();
        break;
    default:
        break;
    }
}

void TControl::parentDestroyed()
{
    m_watcher.reset();
    m_parent = nullptr;
    ParentChanged();
}

TWinControl::TWinControl(TComponent* owner)
    : TControl(owner)
{
}

TWinControl::~TWinControl()
{
    DestroyHandle();
}

QWidget* TWinControl::Handle()
{
    HandleNeeded();
    return m_window;
}

void TWinControl::HandleNeeded()
{
    if (m_window || m_creating || !Parent())
        return;
    // A failing creation leaves no half-made window and may be tried again.
    m_creating = true;
    try {
        CreateWnd();
    } catch (...) {
        m_creating = false;
        throw;
    }
    m_creating = false;
}

void TWinControl::DestroyHandle()
{
    if (!m_window)
        return;
    m_windowWatcher.reset();
    QWidget* window = m_window;
    m_window = nullptr;
    if (m_ownsWindow)
        delete window;
    WindowGone();
}

void TWinControl::CreateWnd()
{
    AdoptWindow(new QWidget(Parent()), true);
}

void TWinControl::AdoptWindow(QWidget* window, bool ownsWindow)
{
    if (window->parentWidget() != Parent())
        window->setParent(Parent());
    window->setGeometry(BoundsRect());
    window->setEnabled(Enabled());
    window->setVisible(Visible());
    m_window = window;
    m_ownsWindow = ownsWindow;
    m_windowWatcher = std::make_unique<vl::ControlWatcher>(this, window, vl::ControlWatcher::Role::Window);
}

void TWinControl::BoundsChanged()
{
    if (m_window)
        m_window->setGeometry(BoundsRect());
}

void TWinControl::VisibleChanged()
{
    if (m_window)
        m_window->setVisible(Visible());
    else if (Visible() && Parent() && Parent()->isVisible())
        HandleNeeded();
}

void TWinControl::EnabledChanged()
{
    if (m_window)
        m_window->setEnabled(Enabled());
}

void TWinControl::ParentChanged()
{
    if (!m_window)
        return;
    if (!Parent()) {
        DestroyHandle();
        return;
    }
    m_window->setParent(Parent());
    m_window->setGeometry(BoundsRect());
    m_window->setVisible(Visible());
}

void TWinControl::ParentShown()
{
    if (!m_window && Visible())
        HandleNeeded();
}

void TWinControl::windowDestroyed()
{
    m_windowWatcher.reset();
    m_window = nullptr;
    WindowGone();
}
