#pragma once
// Window controls: components with bounds, alignment, visibility, enabled state, colour and font,
// placed in a parent window. A Qt widget stands for a window. A TWinControl creates its window
// lazily, when its parent is shown or when the window is asked for; the parent never owns the
// control, only the control's window lies inside the parent's.

#include "Component.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QEvent;
class QFont;
class TWinControl;

// 0x00BBGGRR, or 0x80000000 plus a system colour index.
using TColor = int32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clWindow = static_cast<TColor>(0x80000005);
inline constexpr TColor clWindowText = static_cast<TColor>(0x80000008);
inline constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

using TShiftState = uint8_t;
enum TShiftStateFlag : uint8_t {
    ssShift = 0x01,
    ssAlt = 0x02,
    ssCtrl = 0x04,
    ssLeft = 0x08,
    ssRight = 0x10,
    ssMiddle = 0x20,
    ssDouble = 0x40,
};
enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Event properties: a handler bound to its object (a lambda capturing it, or std::bind);
// an empty property means the event is ignored. The sender always comes first.
using TNotifyEvent = std::function<void(TObject* Sender)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

struct TFont {
    std::string Name = "Sans Serif";
    int Size = 8; // points
    TColor Color = clWindowText;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;

    bool operator==(const TFont&) const = default;
    static TFont fromQFont(const QFont& font, TColor color);
    QFont toQFont() const;
};

namespace vl
{
class ControlWatcher;
} // namespace vl

class TControl : public TComponent
{
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    // The parent window; null when the control has none. Setting a TWinControl uses its window.
    QWidget* Parent() const { return m_parent; }
    void SetParent(QWidget* parent);
    void SetParent(TWinControl* parent);

    TAlign Align() const { return m_align; }
    void SetAlign(TAlign align);

    int Left() const { return m_bounds.x(); }
    int Top() const { return m_bounds.y(); }
    int Width() const { return m_bounds.width(); }
    int Height() const { return m_bounds.height(); }
    QRect BoundsRect() const { return m_bounds; }
    void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
    void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
    void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
    void SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }
    // Every change of position or size goes through here; descendants may refuse a new size.
    virtual void SetBounds(int left, int top, int width, int height);

    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);

    // With ParentColor (and a parent) the parent's colour, otherwise the control's own.
    TColor Color() const;
    void SetColor(TColor color);
    bool ParentColor() const { return m_parentColor; }
    void SetParentColor(bool parentColor) { m_parentColor = parentColor; }
    // With ParentFont (and a parent) the parent's font, otherwise the control's own.
    TFont Font() const;
    void SetFont(const TFont& font);
    bool ParentFont() const { return m_parentFont; }
    void SetParentFont(bool parentFont) { m_parentFont = parentFont; }
    // The parent window's font and colour as this library sees them (defaults without a parent).
    TFont ParentWindowFont() const;
    TColor ParentWindowColor() const;

    // Standard notifications; fired by the protected Click ... MouseUp below.
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

protected:
    // Bounds without any descendant's veto.
    void SetBoundsCore(int left, int top, int width, int height);
    // Places the control by its alignment inside the parent's client area.
    void Realign();

    virtual void Click();
    virtual void DblClick();
    virtual void KeyDown(uint16_t& key, TShiftState shift);
    virtual void KeyPress(char& key);
    virtual void KeyUp(uint16_t& key, TShiftState shift);
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);

    virtual void BoundsChanged() { }
    virtual void VisibleChanged() { }
    virtual void EnabledChanged() { }
    virtual void ColorChanged() { }
    virtual void FontChanged() { }
    virtual void ParentChanged() { }
    virtual void ParentShown() { }
    // The parent's font or colour changed and this control follows it.
    virtual void ParentFontChanged() { }
    virtual void ParentColorChanged() { }

private:
    friend class vl::ControlWatcher;
    void parentEvent(QEvent* event);
    void dispatchParentEvent(QEvent* event);
    void parentDestroyed();

    QPointer<QWidget> m_parent;
    std::unique_ptr<vl::ControlWatcher> m_watcher;
    TAlign m_align = alNone;
    QRect m_bounds;
    bool m_visible = true;
    bool m_enabled = true;
    TColor m_color = clBtnFace;
    bool m_parentColor = true;
    TFont m_font;
    bool m_parentFont = true;
};

class TWinControl : public TControl
{
public:
    explicit TWinControl(TComponent* owner);
    // Destroys the window when the control made it itself; an adopted window is only let go.
    ~TWinControl() override;

    // The window, created first when needed (which needs a parent; null without one).
    QWidget* Handle();
    bool HandleAllocated() const { return m_window != nullptr; }
    void HandleNeeded();
    // Destroys the window when the control made it, otherwise lets go of it; WindowGone follows.
    // The next HandleNeeded makes a new one.
    void DestroyHandle();

    bool TabStop() const { return m_tabStop; }
    void SetTabStop(bool tabStop) { m_tabStop = tabStop; }
    bool AcceptsControls() const { return m_acceptsControls; }
    void SetAcceptsControls(bool accepts) { m_acceptsControls = accepts; }

protected:
    // Makes the window; the default is an ordinary child window of the parent.
    virtual void CreateWnd();
    // Takes a window for this control: moved into the parent, placed at the bounds, shown or
    // hidden with Visible. ownsWindow says whether DestroyHandle deletes it.
    void AdoptWindow(QWidget* window, bool ownsWindow);
    // Events arriving at the window; true means handled and not passed on.
    virtual bool WindowEvent(QEvent*) { return false; }
    // The window is gone: destroyed under the control (with its parent, say) or by DestroyHandle.
    // It is already forgotten when this runs.
    virtual void WindowGone() { }

    void BoundsChanged() override;
    void VisibleChanged() override;
    void EnabledChanged() override;
    void ParentChanged() override;
    void ParentShown() override;

private:
    friend class vl::ControlWatcher;
    void windowDestroyed();

    QPointer<QWidget> m_window;
    std::unique_ptr<vl::ControlWatcher> m_windowWatcher;
    bool m_ownsWindow = false;
    bool m_creating = false;
    bool m_tabStop = false;
    bool m_acceptsControls = false;
};
