#pragma once
// The site of a hosted control, private to its wrapper (TOleControl), which owns it.

#include "Controls.h"

#include "NoTypeInfo.h"
#include "OleFont.h"
#include "OleInterfaces.h"

#include <QRect>

class TOleControl;

namespace vl
{

// Everything the control may ask of its container. All counts go to the wrapper's.
class OleControlSite final : public IOleClientSite,
                             public IOleControlSite,
                             public IOleInPlaceSite,
                             public IOleInPlaceFrame,
                             public ISimpleFrameSite,
                             public IPropertyNotifySink,
                             public NoTypeInfo<IDispatch>
{
public:
    explicit OleControlSite(TOleControl* control)
        : m_control(control)
    {
    }
    virtual ~OleControlSite() = default;

    IOleClientSite* clientSite() { return this; }
    IPropertyNotifySink* propertySink() { return this; }

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IOleClientSite
    HRESULT SaveObject() override { return S_OK; }
    HRESULT GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    HRESULT GetContainer(IOleContainer** container) override;
    HRESULT ShowObject() override { return S_OK; }
    HRESULT OnShowWindow(BOOL) override { return S_OK; }
    HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleControlSite
    HRESULT OnControlInfoChanged() override { return S_OK; }
    HRESULT LockInPlaceActive(BOOL) override { return S_OK; }
    HRESULT GetExtendedControl(IDispatch** control) override;
    HRESULT TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override;
    HRESULT TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    HRESULT OnFocus(BOOL) override { return S_OK; }
    HRESULT ShowPropertyFrame() override { return E_NOTIMPL; }

    // IOleWindow, for both the in-place site and the frame: the parent's window.
    HRESULT GetWindow(HWND* window) override;
    HRESULT ContextSensitiveHelp(BOOL) override { return S_OK; }

    // IOleInPlaceSite
    HRESULT CanInPlaceActivate() override { return S_OK; }
    HRESULT OnInPlaceActivate() override;
    HRESULT OnUIActivate() override { return S_OK; }
    HRESULT GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT posRect, LPRECT clipRect,
        OLEINPLACEFRAMEINFO* frameInfo) override;
    HRESULT Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT OnInPlaceDeactivate() override;
    HRESULT DiscardUndoState() override { return S_OK; }
    HRESULT DeactivateAndUndo() override { return S_OK; }
    HRESULT OnPosRectChange(LPCRECT posRect) override;

    // IOleInPlaceFrame: no menus, tool space or status line to share.
    HRESULT GetBorder(LPRECT) override { return E_NOTIMPL; }
    HRESULT RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    HRESULT SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    HRESULT SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    HRESULT InsertMenus(HMENU, OLEMENUGROUPWIDTHS*) override { return E_NOTIMPL; }
    HRESULT SetMenu(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
    HRESULT RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT EnableModeless(BOOL) override { return S_OK; }
    HRESULT TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // ISimpleFrameSite
    HRESULT PreMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD*) override { return S_OK; }
    HRESULT PostMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD) override { return S_OK; }

    // IPropertyNotifySink
    HRESULT OnChanged(DISPID dispId) override;
    HRESULT OnRequestEdit(DISPID) override { return S_OK; }

    // IDispatch: the ambient properties.
    HRESULT Invoke(DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override;

private:
    HRESULT ambientProperty(DISPID dispId, VARIANT& result);

    TOleControl* m_control;
};

// The bounds as the component layer's rectangle, and the font as the control's font object reads it.
RECT toRect(const QRect& r);
FontDescription describeFont(const TFont& font);

} // namespace vl
