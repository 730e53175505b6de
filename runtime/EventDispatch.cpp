#include "EventDispatch_p.h"

#include "Application.h"
#include "OleCheck.h"
#include "OleControl.h"

namespace vl
{
namespace
{
// The control's events number their keys and buttons 1, 2 and 4; the flags say which is which.
TShiftState stateFromBits(LONG bits, TShiftStateFlag bit1, TShiftStateFlag bit2, TShiftStateFlag bit4)
{
    TShiftState state = 0;
    if (bits & 1)
        state |= bit1;
    if (bits & 2)
        state |= bit2;
    if (bits & 4)
        state |= bit4;
    return state;
}

TShiftState shiftFromBits(LONG bits)
{
    return stateFromBits(bits, ssShift, ssCtrl, ssAlt);
}

TShiftState buttonsFromBits(LONG bits)
{
    return stateFromBits(bits, ssLeft, ssRight, ssMiddle);
}

TMouseButton buttonFromBits(LONG bits)
{
    if (bits & 1)
        return mbLeft;
    if (bits & 2)
        return mbRight;
    if (bits & 4)
        return mbMiddle;
    return mbLeft;
}

LONG int32Argument(const VARIANT& arg)
{
    LONG value = 0;
    const HRESULT hr = VariantToInt32(arg, &value);
    if (FAILED(hr))
        oleSysError(hr);
    return value;
}
} // namespace
} // namespace vl

HRESULT TEventDispatch::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    const bool events = m_control->ControlData && iid == m_control->ControlData->EventIid;
    if (iid == IID_IUnknown || iid == IID_IDispatch || events) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG TEventDispatch::AddRef()
{
    return ++m_control->m_refCount;
}

ULONG TEventDispatch::Release()
{
    return m_control->m_refCount > 0 ? --m_control->m_refCount : 0;
}

HRESULT TEventDispatch::Invoke(DISPID dispId, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*)
{
    // Whatever a handler does, the control hears success; failures are shown to the user.
    runGuarded([&] {
        if (dispId >= DISPID_MOUSEUP && dispId <= DISPID_CLICK)
            invokeStandardEvent(dispId, params);
        else
            invokeEvent(dispId, params);
    });
    return S_OK;
}

void TEventDispatch::invokeEvent(DISPID dispId, DISPPARAMS* params)
{
    const TControlDescription* data = m_control->ControlData;
    if (!data)
        return;
    for (int i = 0; i < data->EventCount; ++i) {
        if (data->EventDispIds[i] != dispId)
            continue;
        vl::EventSlot* slot = m_control->EventSlotAt(i);
        if (slot && slot->assigned())
            slot->invoke(m_control, params);
        return;
    }
}

void TEventDispatch::invokeStandardEvent(DISPID dispId, DISPPARAMS* params)
{
    const UINT count = params && params->rgvarg ? params->cArgs : 0;
    // Declaration order: argument n is stored at rgvarg[count - 1 - n].
    auto arg = [&](UINT n) -> VARIANT& { return params->rgvarg[count - 1 - n]; };
    switch (dispId) {
    case DISPID_CLICK:
        m_control->Click();
        break;
    case DISPID_DBLCLICK:
        m_control->DblClick();
        break;
    case DISPID_KEYDOWN:
    case DISPID_KEYUP: {
        if (count < 2)
            return;
        uint16_t key = static_cast<uint16_t>(vl::int32Argument(arg(0)));
        const TShiftState shift = vl::shiftFromBits(vl::int32Argument(arg(1)) & 7);
        if (dispId == DISPID_KEYDOWN)
            m_control->KeyDown(key, shift);
        else
            m_control->KeyUp(key, shift);
        if ((arg(0).vt & VT_BYREF) && arg(0).byref)
            *static_cast<uint16_t*>(arg(0).byref) = key;
        break;
    }
    case DISPID_KEYPRESS: {
        if (count < 1)
            return;
        char key = static_cast<char>(vl::int32Argument(arg(0)));
        m_control->KeyPress(key);
        if ((arg(0).vt & VT_BYREF) && arg(0).byref)
            *static_cast<char*>(arg(0).byref) = key;
        break;
    }
    case DISPID_MOUSEDOWN:
    case DISPID_MOUSEMOVE:
    case DISPID_MOUSEUP: {
        if (count < 4)
            return;
        const LONG buttons = vl::int32Argument(arg(0)) & 7;
        const TShiftState shift = vl::shiftFromBits(vl::int32Argument(arg(1)) & 7) | vl::buttonsFromBits(buttons);
        const int x = vl::int32Argument(arg(2));
        const int y = vl::int32Argument(arg(3));
        if (dispId == DISPID_MOUSEDOWN)
            m_control->MouseDown(vl::buttonFromBits(buttons), shift, x, y);
        else if (dispId == DISPID_MOUSEUP)
            m_control->MouseUp(vl::buttonFromBits(buttons), shift, x, y);
        else
            m_control->MouseMove(shift, x, y);
        break;
    }
    default:
        break;
    }
}
