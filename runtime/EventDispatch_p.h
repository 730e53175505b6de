#pragma once
// Private to the wrapper (TOleControl), which owns its one sink.

#include "NoTypeInfo.h"
#include "OleInterfaces.h"

class TOleControl;

// The event sink: one per wrapper, connected to the control's event connection point. Its
// reference count is the wrapper's and never destroys anything; every Invoke answers S_OK.
class TEventDispatch : public vl::NoTypeInfo<IDispatch>
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
    HRESULT Invoke(DISPID dispId, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
        EXCEPINFO* excepInfo, UINT* argErr) override;

private:
    void invokeEvent(DISPID dispId, DISPPARAMS* params);
    void invokeStandardEvent(DISPID dispId, DISPPARAMS* params);

    TOleControl* m_control;
};
