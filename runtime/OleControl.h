#pragma once
// The hosting base of embedded controls. A descendant describes the control it hosts in one
// static TControlDescription and publishes the control's properties through the Get*/Set*Prop
// helpers; the base creates the control object, is its site, runs it, activates it in place in
// the parent window, sizes it, links the enabled state and turns its event calls into handler
// calls. Every failure of the control is raised as EOleError or one of its descendants.

#include "Controls.h"
#include "EventArguments.h"

#include "ComPtr.h"
#include "OleInterfaces.h"
#include "Variant.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using TOleEnum = int32_t;

// Bits of TControlDescription::Flags: wrapper properties that follow the control's stock ones.
inline constexpr int cfBackColor = 1;
inline constexpr int cfForeColor = 2;
inline constexpr int cfFont = 4;
inline constexpr int cfEnabled = 8;

// Bits of TControlDescription::SiteOptions.
inline constexpr int soSetClientSiteFirst = 1;
inline constexpr int soNeverSetClientSiteFirst = 2;

// One per wrapper class, in static storage, shared by all its instances.
struct TControlDescription {
    CLSID ClassId;
    IID EventIid;
    int EventCount;
    const DISPID* EventDispIds; // EventCount entries; entry i is served by handler slot i
    int Flags;
    int Version; // from 401 on FirstEventSlot is meaningful
    int FontCount;
    const DISPID* FontDispIds;
    int PictureCount;
    const DISPID* PictureDispIds;
    int SiteOptions;
    int InstanceCount;
    // Value lists of enumerated properties, built on demand; freed with the last instance.
    std::map<DISPID, std::vector<std::u16string>> EnumPropDescs;
    // Byte offset of the first vl::EventSlot from the TOleControl part of the wrapper.
    std::ptrdiff_t FirstEventSlot;
};

namespace vl
{

class OleControlSite;

// Pixels per inch of the screen (logical), 96 without a screen.
int screenPixelsPerInch();

} // namespace vl

class TOleControl;

// The event sink, private to the wrapper (EventDispatch_p.h).
class TEventDispatch;

class TOleControl : public TWinControl
{
public:
    // Only sets the wrapper up; the descendant's constructor calls CreateControlObject.
    explicit TOleControl(TComponent* owner);
    // Leaves UI activation, closes the control without saving, disconnects and releases
    // everything, destroys the window part, and releases the deferred reference last.
    ~TOleControl() override;

    // Brings the control to running state (once; after a failure the next call tries again)
    // and answers the control object, which the wrapper keeps; not counted for the caller.
    IOleObject* OleObject();
    bool Running() const { return m_running; }
    DWORD MiscStatus() const { return m_miscStatus; }

    // Properties by DISPID; each access brings the control to running state first. A failure
    // raises EOleException (DISP_E_EXCEPTION, from the exception information) or EOleSysError.
    void GetProperty(DISPID dispId, vl::Variant& value);
    void SetProperty(DISPID dispId, const VARIANT& value);
    int32_t GetIntegerProp(DISPID dispId);
    void SetIntegerProp(DISPID dispId, int32_t value);
    bool GetWordBoolProp(DISPID dispId);
    void SetWordBoolProp(DISPID dispId, bool value);
    double GetDoubleProp(DISPID dispId);
    void SetDoubleProp(DISPID dispId, double value);
    std::u16string GetWideStringProp(DISPID dispId);
    void SetWideStringProp(DISPID dispId, std::u16string_view value); // empty goes as a null BSTR

    // The wrapper's reference count, shared by its site and its event sink.
    ULONG RefCount() const { return m_refCount; }

    void SetBounds(int left, int top, int width, int height) override;

protected:
    // Points ControlData at the class's record and fills its FirstEventSlot.
    virtual void DescribeControl() = 0;
    // The construction steps after the window part: describe, create the control object, ask
    // its status, site it when it wants that first, take its natural size. Raises on failure;
    // the destructor then undoes what was made.
    void CreateControlObject();
    // Hands a reference to the destructor, which releases it after everything else.
    void ReleaseLast(vl::ComPtr<IUnknown> reference) { m_lastReference = std::move(reference); }

    vl::EventSlot* EventSlotAt(int index);

    void CreateWnd() override;
    void WindowGone() override;
    bool WindowEvent(QEvent* event) override;
    void BoundsChanged() override;
    void EnabledChanged() override;
    void ColorChanged() override;
    void FontChanged() override;
    void ParentChanged() override;
    void ParentFontChanged() override;
    void ParentColorChanged() override;

    TControlDescription* ControlData = nullptr;

private:
    friend class TEventDispatch;
    friend class vl::OleControlSite;

    void bringToRunningState();
    void undoRunning();
    HRESULT takeNaturalSize();
    void siteControl();
    void readProperty(DISPID dispId, vl::Variant& value);
    void writeProperty(DISPID dispId, const VARIANT& value);
    void propertyChanged(DISPID dispId);
    void ambientChanged(DISPID dispId);
    void inPlaceActivated();
    void inPlaceDeactivated();

    ULONG m_refCount = 0;
    std::unique_ptr<vl::OleControlSite> m_site;
    std::unique_ptr<TEventDispatch> m_eventDispatch;
    vl::ComPtr<IOleObject> m_oleObject;
    DWORD m_miscStatus = 0;
    vl::ComPtr<IPersistStreamInit> m_persistStream;
    vl::ComPtr<IOleControl> m_oleControl;
    vl::ComPtr<IDispatch> m_controlDispatch;
    vl::ComPtr<IPerPropertyBrowsing> m_propertyBrowsing;
    vl::ComPtr<IOleInPlaceObject> m_inPlaceObject;
    vl::ComPtr<IOleInPlaceActiveObject> m_inPlaceActiveObject;
    DWORD m_propertyCookie = 0;
    DWORD m_eventsCookie = 0;
    std::vector<uint8_t> m_objectData; // saved state read from a form stream; none here
    vl::ComPtr<IUnknown> m_lastReference;
    bool m_counted = false;
    bool m_running = false;
    bool m_startingUp = false;
    bool m_destroying = false;
    bool m_updatingColor = false;
    bool m_updatingFont = false;
    bool m_updatingEnabled = false;
};
