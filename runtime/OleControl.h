#pragma once
// The hosting base of embedded controls. A descendant describes the control it hosts in one
// static TControlDescription and publishes the control's properties through the Get*/Set*Prop
// helpers; the base creates the control object, is its site, runs it, activates it in place in
// the parent window, sizes it, links the enabled state and turns its event calls into handler
// calls. Every failure of the control is raised as EOleError or one of its descendants.

#include "Controls.h"

#include "ComPtr.h"
#include "OleInterfaces.h"
#include "Variant.h"

#include <any>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
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

// The arguments of one event call, in declaration order (the dispatch arguments are stored
// last-first). A parameter beyond the call's arguments reads as zero, null or empty.
class EventArguments
{
public:
    EventArguments(DISPPARAMS* params, size_t parameterCount);
    size_t count() const { return m_count; }
    // The argument for parameter index (0 is the first after the sender); null when missing.
    VARIANT* at(size_t index) const;

    // Storage for an in/out parameter whose argument is not a reference of the expected type:
    // the handler's changes then stay here.
    int32_t& int32Scratch(size_t index) { return m_ints[index]; }
    VARIANT_BOOL& boolScratch(size_t index) { return m_bools[index]; }
    VARIANT& variantScratch(size_t index) { return *m_variants[index].ptr(); }

private:
    VARIANT* m_args;
    size_t m_count;
    std::vector<int32_t> m_ints;
    std::vector<VARIANT_BOOL> m_bools;
    std::vector<Variant> m_variants;
};

// How each handler parameter type is taken from its argument.
template <class T, class = void> struct EventParameter;

template <> struct EventParameter<int32_t> {
    static int32_t get(EventArguments& args, size_t i);
};
template <> struct EventParameter<VARIANT_BOOL> {
    static VARIANT_BOOL get(EventArguments& args, size_t i);
};
template <> struct EventParameter<float> {
    static float get(EventArguments& args, size_t i);
};
template <> struct EventParameter<double> {
    static double get(EventArguments& args, size_t i);
};
// Read-only string: the caller's string itself, valid during the call only.
template <> struct EventParameter<BSTR> {
    static BSTR get(EventArguments& args, size_t i);
};
// In/out values: a reference to the caller's variable.
template <> struct EventParameter<int32_t&> {
    static int32_t& get(EventArguments& args, size_t i);
};
template <> struct EventParameter<VARIANT_BOOL&> {
    static VARIANT_BOOL& get(EventArguments& args, size_t i);
};
// By-value variant: the handler's own copy.
template <> struct EventParameter<Variant> {
    static Variant get(EventArguments& args, size_t i);
};
// In/out variant: the caller's variant itself.
template <> struct EventParameter<VARIANT&> {
    static VARIANT& get(EventArguments& args, size_t i);
};
// An interface handed in a VT_DISPATCH argument: the pointer itself, not queried, not counted.
template <class I> struct EventParameter<I*, std::enable_if_t<std::is_base_of_v<IDispatch, I>>> {
    static I* get(EventArguments& args, size_t i)
    {
        VARIANT* arg = args.at(i);
        return arg && arg->vt == VT_DISPATCH ? static_cast<I*>(arg->pdispVal) : nullptr;
    }
};

// One event handler slot: a typed handler behind a uniform call.
class EventSlot
{
public:
    bool assigned() const { return static_cast<bool>(m_invoke); }
    void clear()
    {
        m_invoke = nullptr;
        m_handler.reset();
    }
    void invoke(TObject* sender, DISPPARAMS* params) const { m_invoke(sender, params); }

    template <class... Params> void assign(std::function<void(TObject*, Params...)> handler)
    {
        if (!handler) {
            clear();
            return;
        }
        m_handler = handler;
        m_invoke = [handler = std::move(handler)](TObject* sender, DISPPARAMS* params) {
            call(handler, sender, params, std::index_sequence_for<Params...>());
        };
    }
    // The handler as assigned; empty when none is (or when asked for another type).
    template <class Handler> Handler handler() const
    {
        const Handler* h = std::any_cast<Handler>(&m_handler);
        return h ? *h : Handler();
    }

private:
    template <class... Params, size_t... I>
    static void call(const std::function<void(TObject*, Params...)>& handler, TObject* sender, DISPPARAMS* params,
        std::index_sequence<I...>)
    {
        EventArguments args(params, sizeof...(Params));
        handler(sender, EventParameter<Params>::get(args, I)...);
    }

    std::function<void(TObject*, DISPPARAMS*)> m_invoke;
    std::any m_handler;
};

// An assignable event property over one slot of the wrapper: `view->OnPrompt = handler;`.
template <class Handler> class EventProperty
{
public:
    explicit EventProperty(EventSlot& slot)
        : m_slot(slot)
    {
    }
    EventProperty(const EventProperty&) = delete;
    EventProperty& operator=(const EventProperty&) = delete;
    EventProperty& operator=(Handler handler)
    {
        m_slot.assign(std::move(handler));
        return *this;
    }
    EventProperty& operator=(std::nullptr_t)
    {
        m_slot.clear();
        return *this;
    }
    Handler get() const { return m_slot.handler<Handler>(); }
    explicit operator bool() const { return m_slot.assigned(); }

private:
    EventSlot& m_slot;
};

// Pixels per inch of the screen (logical), 96 without a screen.
int screenPixelsPerInch();

} // namespace vl

class TOleControl;

// The event sink: one per wrapper, connected to the control's event connection point. Its
// reference count is the wrapper's and never destroys anything; every Invoke answers S_OK.
class TEventDispatch : public IDispatch
{
public:
    explicit TEventDispatch(TOleControl* control)
        : m_control(control)
    {
    }
    virtual ~TEventDispatch() = default;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* dispIds) override;
    HRESULT Invoke(DISPID dispId, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
        EXCEPINFO* excepInfo, UINT* argErr) override;

private:
    void invokeEvent(DISPID dispId, DISPPARAMS* params);
    void invokeStandardEvent(DISPID dispId, DISPPARAMS* params);

    TOleControl* m_control;
};

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
