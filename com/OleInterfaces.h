#pragma once
// The interfaces and constants of control containment: the control's side (IOleObject,
// IOleInPlaceObject, IOleControl, IPersistStreamInit, ...) and the site's (IOleClientSite,
// IOleControlSite, IOleInPlaceSite, ...). Method order is the platform's; never reorder.
// Arguments of methods that this system does not use are simplified to opaque types.

#include "BStr.h"
#include "Stream.h"
#include "Unknown.h"

class IMoniker;
class IDataObject;
class IAdviseSink;
class IEnumSTATDATA;
class IEnumOLEVERB;
class IOleContainer;
struct LOGPALETTE;

#define VL_OLE_IID(name, d1)                                                                                           \
    inline constexpr IID name = { d1, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } }
VL_OLE_IID(IID_IPersist, 0x0000010C);
VL_OLE_IID(IID_IOleObject, 0x00000112);
VL_OLE_IID(IID_IOleInPlaceObject, 0x00000113);
VL_OLE_IID(IID_IOleWindow, 0x00000114);
VL_OLE_IID(IID_IOleInPlaceUIWindow, 0x00000115);
VL_OLE_IID(IID_IOleInPlaceFrame, 0x00000116);
VL_OLE_IID(IID_IOleInPlaceActiveObject, 0x00000117);
VL_OLE_IID(IID_IOleClientSite, 0x00000118);
VL_OLE_IID(IID_IOleInPlaceSite, 0x00000119);
#undef VL_OLE_IID
// {7FD52380-4E07-101B-AE2D-08002B2EC713}
inline constexpr IID IID_IPersistStreamInit
    = { 0x7FD52380, 0x4E07, 0x101B, { 0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13 } };
// {B196B288-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IOleControl
    = { 0xB196B288, 0xBAB4, 0x101A, { 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07 } };
// {B196B289-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IOleControlSite
    = { 0xB196B289, 0xBAB4, 0x101A, { 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07 } };
// {9BFBBC02-EFF1-101A-84ED-00AA00341D07}
inline constexpr IID IID_IPropertyNotifySink
    = { 0x9BFBBC02, 0xEFF1, 0x101A, { 0x84, 0xED, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07 } };
// {742B0E01-14E6-101B-914E-00AA00300CAB}
inline constexpr IID IID_ISimpleFrameSite
    = { 0x742B0E01, 0x14E6, 0x101B, { 0x91, 0x4E, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB } };
// {376BD3AA-3845-101B-84ED-08002B2EC713}
inline constexpr IID IID_IPerPropertyBrowsing
    = { 0x376BD3AA, 0x3845, 0x101B, { 0x84, 0xED, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13 } };

inline constexpr LONG OLEIVERB_PRIMARY = 0;
inline constexpr LONG OLEIVERB_SHOW = -1;
inline constexpr LONG OLEIVERB_OPEN = -2;
inline constexpr LONG OLEIVERB_HIDE = -3;
inline constexpr LONG OLEIVERB_UIACTIVATE = -4;
inline constexpr LONG OLEIVERB_INPLACEACTIVATE = -5;
inline constexpr LONG OLEIVERB_DISCARDUNDOSTATE = -6;

inline constexpr DWORD OLECLOSE_SAVEIFDIRTY = 0;
inline constexpr DWORD OLECLOSE_NOSAVE = 1;
inline constexpr DWORD OLECLOSE_PROMPTSAVE = 2;

inline constexpr DWORD DVASPECT_CONTENT = 1;
inline constexpr DWORD DVASPECT_THUMBNAIL = 2;
inline constexpr DWORD DVASPECT_ICON = 4;
inline constexpr DWORD DVASPECT_DOCPRINT = 8;

inline constexpr DWORD OLEMISC_RECOMPOSEONRESIZE = 0x1;
inline constexpr DWORD OLEMISC_ONLYICONIC = 0x2;
inline constexpr DWORD OLEMISC_INSERTNOTREPLACE = 0x4;
inline constexpr DWORD OLEMISC_STATIC = 0x8;
inline constexpr DWORD OLEMISC_CANTLINKINSIDE = 0x10;
inline constexpr DWORD OLEMISC_CANLINKBYOLE1 = 0x20;
inline constexpr DWORD OLEMISC_ISLINKOBJECT = 0x40;
inline constexpr DWORD OLEMISC_INSIDEOUT = 0x80;
inline constexpr DWORD OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
inline constexpr DWORD OLEMISC_RENDERINGISDEVICEINDEPENDENT = 0x200;
inline constexpr DWORD OLEMISC_INVISIBLEATRUNTIME = 0x400;
inline constexpr DWORD OLEMISC_ALWAYSRUN = 0x800;
inline constexpr DWORD OLEMISC_ACTSLIKEBUTTON = 0x1000;
inline constexpr DWORD OLEMISC_ACTSLIKELABEL = 0x2000;
inline constexpr DWORD OLEMISC_NOUIACTIVATE = 0x4000;
inline constexpr DWORD OLEMISC_ALIGNABLE = 0x8000;
inline constexpr DWORD OLEMISC_SIMPLEFRAME = 0x10000;
inline constexpr DWORD OLEMISC_SETCLIENTSITEFIRST = 0x20000;
inline constexpr DWORD OLEMISC_IMEMODE = 0x40000;
inline constexpr DWORD OLEMISC_IGNOREACTIVATEWHENVISIBLE = 0x80000;
inline constexpr DWORD OLEMISC_WANTSTOMENUMERGE = 0x100000;
inline constexpr DWORD OLEMISC_SUPPORTSMULTILEVELUNDO = 0x200000;

inline constexpr DWORD OLEWHICHMK_CONTAINER = 1;
inline constexpr DWORD OLEWHICHMK_OBJREL = 2;
inline constexpr DWORD OLEWHICHMK_OBJFULL = 3;

// Flags of IOleControlSite::TransformCoords.
inline constexpr DWORD XFORMCOORDS_POSITION = 0x1;
inline constexpr DWORD XFORMCOORDS_SIZE = 0x2;
inline constexpr DWORD XFORMCOORDS_HIMETRICTOCONTAINER = 0x4;
inline constexpr DWORD XFORMCOORDS_CONTAINERTOHIMETRIC = 0x8;

using BORDERWIDTHS = RECT;
using LPCBORDERWIDTHS = const RECT*;

struct OLEMENUGROUPWIDTHS {
    LONG width[6];
};

struct OLEINPLACEFRAMEINFO {
    UINT cb;
    BOOL fMDIApp;
    HWND hwndFrame;
    HACCEL haccel;
    UINT cAccelEntries;
};

struct CONTROLINFO {
    ULONG cb;
    HACCEL hAccel;
    USHORT cAccel;
    DWORD dwFlags;
};

// Counted arrays of IPerPropertyBrowsing; the receiver frees elements and array with CoTaskMemFree.
struct CALPOLESTR {
    ULONG cElems;
    LPOLESTR* pElems;
};
struct CADWORD {
    ULONG cElems;
    DWORD* pElems;
};

class IOleClientSite;

class IOleObject : public IUnknown
{
public:
    virtual HRESULT SetClientSite(IOleClientSite* site) = 0; // slot 3
    virtual HRESULT GetClientSite(IOleClientSite** site) = 0; // slot 4
    virtual HRESULT SetHostNames(LPCOLESTR containerApp, LPCOLESTR containerObject) = 0; // slot 5
    virtual HRESULT Close(DWORD saveOption) = 0; // slot 6
    virtual HRESULT SetMoniker(DWORD whichMoniker, IMoniker* moniker) = 0; // slot 7
    virtual HRESULT GetMoniker(DWORD assign, DWORD whichMoniker, IMoniker** moniker) = 0; // slot 8
    virtual HRESULT InitFromData(IDataObject* data, BOOL creation, DWORD reserved) = 0; // slot 9
    virtual HRESULT GetClipboardData(DWORD reserved, IDataObject** data) = 0; // slot 10
    virtual HRESULT DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index, // slot 11
        HWND parent, LPCRECT posRect)
        = 0;
    virtual HRESULT EnumVerbs(IEnumOLEVERB** verbs) = 0; // slot 12
    virtual HRESULT Update() = 0; // slot 13
    virtual HRESULT IsUpToDate() = 0; // slot 14
    virtual HRESULT GetUserClassID(CLSID* clsid) = 0; // slot 15
    virtual HRESULT GetUserType(DWORD formOfType, LPOLESTR* userType) = 0; // slot 16
    // Extents are in 0.01 mm (HIMETRIC).
    virtual HRESULT SetExtent(DWORD drawAspect, SIZEL* size) = 0; // slot 17
    virtual HRESULT GetExtent(DWORD drawAspect, SIZEL* size) = 0; // slot 18
    virtual HRESULT Advise(IAdviseSink* sink, DWORD* connection) = 0; // slot 19
    virtual HRESULT Unadvise(DWORD connection) = 0; // slot 20
    virtual HRESULT EnumAdvise(IEnumSTATDATA** advise) = 0; // slot 21
    virtual HRESULT GetMiscStatus(DWORD aspect, DWORD* status) = 0; // slot 22
    virtual HRESULT SetColorScheme(LOGPALETTE* palette) = 0; // slot 23

protected:
    ~IOleObject() = default;
};

class IOleClientSite : public IUnknown
{
public:
    virtual HRESULT SaveObject() = 0; // slot 3
    virtual HRESULT GetMoniker(DWORD assign, DWORD whichMoniker, IMoniker** moniker) = 0; // slot 4
    virtual HRESULT GetContainer(IOleContainer** container) = 0; // slot 5
    virtual HRESULT ShowObject() = 0; // slot 6
    virtual HRESULT OnShowWindow(BOOL show) = 0; // slot 7
    virtual HRESULT RequestNewObjectLayout() = 0; // slot 8

protected:
    ~IOleClientSite() = default;
};

class IOleControlSite : public IUnknown
{
public:
    virtual HRESULT OnControlInfoChanged() = 0; // slot 3
    virtual HRESULT LockInPlaceActive(BOOL lock) = 0; // slot 4
    virtual HRESULT GetExtendedControl(IDispatch** control) = 0; // slot 5
    virtual HRESULT TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) = 0; // slot 6
    // S_OK when the site used the key; modifiers are KEYMOD_* bits.
    virtual HRESULT TranslateAccelerator(MSG* msg, DWORD modifiers) = 0; // slot 7
    virtual HRESULT OnFocus(BOOL gotFocus) = 0; // slot 8
    virtual HRESULT ShowPropertyFrame() = 0; // slot 9

protected:
    ~IOleControlSite() = default;
};

class IOleWindow : public IUnknown
{
public:
    virtual HRESULT GetWindow(HWND* window) = 0; // slot 3
    virtual HRESULT ContextSensitiveHelp(BOOL enter) = 0; // slot 4

protected:
    ~IOleWindow() = default;
};

class IOleInPlaceActiveObject;

class IOleInPlaceUIWindow : public IOleWindow
{
public:
    virtual HRESULT GetBorder(LPRECT border) = 0; // slot 5
    virtual HRESULT RequestBorderSpace(LPCBORDERWIDTHS widths) = 0; // slot 6
    virtual HRESULT SetBorderSpace(LPCBORDERWIDTHS widths) = 0; // slot 7
    virtual HRESULT SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) = 0; // slot 8

protected:
    ~IOleInPlaceUIWindow() = default;
};

class IOleInPlaceFrame : public IOleInPlaceUIWindow
{
public:
    virtual HRESULT InsertMenus(HMENU shared, OLEMENUGROUPWIDTHS* widths) = 0; // slot 9
    virtual HRESULT SetMenu(HMENU shared, HOLEMENU menu, HWND activeObject) = 0; // slot 10
    virtual HRESULT RemoveMenus(HMENU shared) = 0; // slot 11
    virtual HRESULT SetStatusText(LPCOLESTR text) = 0; // slot 12
    virtual HRESULT EnableModeless(BOOL enable) = 0; // slot 13
    virtual HRESULT TranslateAccelerator(LPMSG msg, WORD id) = 0; // slot 14

protected:
    ~IOleInPlaceFrame() = default;
};

class IOleInPlaceSite : public IOleWindow
{
public:
    virtual HRESULT CanInPlaceActivate() = 0; // slot 5
    virtual HRESULT OnInPlaceActivate() = 0; // slot 6
    virtual HRESULT OnUIActivate() = 0; // slot 7
    // frame and document come back counted; the rectangles and info are the caller's.
    virtual HRESULT GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, // slot 8
        LPRECT posRect, LPRECT clipRect, OLEINPLACEFRAMEINFO* frameInfo)
        = 0;
    virtual HRESULT Scroll(SIZE extent) = 0; // slot 9
    virtual HRESULT OnUIDeactivate(BOOL undoable) = 0; // slot 10
    virtual HRESULT OnInPlaceDeactivate() = 0; // slot 11
    virtual HRESULT DiscardUndoState() = 0; // slot 12
    virtual HRESULT DeactivateAndUndo() = 0; // slot 13
    virtual HRESULT OnPosRectChange(LPCRECT posRect) = 0; // slot 14

protected:
    ~IOleInPlaceSite() = default;
};

class IOleInPlaceObject : public IOleWindow
{
public:
    virtual HRESULT InPlaceDeactivate() = 0; // slot 5
    virtual HRESULT UIDeactivate() = 0; // slot 6
    virtual HRESULT SetObjectRects(LPCRECT posRect, LPCRECT clipRect) = 0; // slot 7
    virtual HRESULT ReactivateAndUndo() = 0; // slot 8

protected:
    ~IOleInPlaceObject() = default;
};

class IOleInPlaceActiveObject : public IOleWindow
{
public:
    // S_OK when the object used the key.
    virtual HRESULT TranslateAccelerator(LPMSG msg) = 0; // slot 5
    virtual HRESULT OnFrameWindowActivate(BOOL activate) = 0; // slot 6
    virtual HRESULT OnDocWindowActivate(BOOL activate) = 0; // slot 7
    virtual HRESULT ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) = 0; // slot 8
    virtual HRESULT EnableModeless(BOOL enable) = 0; // slot 9

protected:
    ~IOleInPlaceActiveObject() = default;
};

class IOleControl : public IUnknown
{
public:
    virtual HRESULT GetControlInfo(CONTROLINFO* info) = 0; // slot 3
    virtual HRESULT OnMnemonic(MSG* msg) = 0; // slot 4
    // DISPID_UNKNOWN (-1): any ambient property may have changed.
    virtual HRESULT OnAmbientPropertyChange(DISPID dispId) = 0; // slot 5
    virtual HRESULT FreezeEvents(BOOL freeze) = 0; // slot 6

protected:
    ~IOleControl() = default;
};

class IPersist : public IUnknown
{
public:
    virtual HRESULT GetClassID(CLSID* clsid) = 0; // slot 3

protected:
    ~IPersist() = default;
};

class IPersistStreamInit : public IPersist
{
public:
    virtual HRESULT IsDirty() = 0; // slot 4
    virtual HRESULT Load(IStream* stream) = 0; // slot 5
    virtual HRESULT Save(IStream* stream, BOOL clearDirty) = 0; // slot 6
    virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0; // slot 7
    virtual HRESULT InitNew() = 0; // slot 8

protected:
    ~IPersistStreamInit() = default;
};

class IPropertyNotifySink : public IUnknown
{
public:
    virtual HRESULT OnChanged(DISPID dispId) = 0; // slot 3
    // S_OK grants the change, S_FALSE refuses it.
    virtual HRESULT OnRequestEdit(DISPID dispId) = 0; // slot 4

protected:
    ~IPropertyNotifySink() = default;
};

class ISimpleFrameSite : public IUnknown
{
public:
    virtual HRESULT PreMessageFilter(HWND window, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result, // slot 3
        DWORD* cookie)
        = 0;
    virtual HRESULT PostMessageFilter(HWND window, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result, // slot 4
        DWORD cookie)
        = 0;

protected:
    ~ISimpleFrameSite() = default;
};

class IPerPropertyBrowsing : public IUnknown
{
public:
    virtual HRESULT GetDisplayString(DISPID dispId, BSTR* text) = 0; // slot 3
    virtual HRESULT MapPropertyToPage(DISPID dispId, CLSID* page) = 0; // slot 4
    virtual HRESULT GetPredefinedStrings(DISPID dispId, CALPOLESTR* strings, CADWORD* cookies) = 0; // slot 5
    virtual HRESULT GetPredefinedValue(DISPID dispId, DWORD cookie, VARIANT* value) = 0; // slot 6

protected:
    ~IPerPropertyBrowsing() = default;
};
