// The event sink's argument conversion: dispatch argument lists of random shapes (count, types,
// by-reference arguments, strings) handed to handlers of every parameter kind, which then use what
// they got. Arguments are well formed as a caller would build them; the first byte's bit 6 also
// allows null by-reference pointers, which a careless caller may send.

#include "BStr.h"
#include "OleControl.h"
#include "Variant.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    template <class T>
    T value()
    {
        T v {};
        uint8_t bytes[sizeof(T)] = {};
        for (uint8_t& b : bytes)
            b = byte();
        std::memcpy(&v, bytes, sizeof(T));
        return v;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Storage that by-reference arguments point into; lives through the call.
struct Storage {
    int32_t ints[16] = {};
    VARIANT_BOOL bools[16] = {};
    BSTR strings[16] = {};
    VARIANT variants[16] = {};
    std::vector<BSTR> owned;

    ~Storage()
    {
        for (BSTR s : owned)
            SysFreeString(s);
        for (VARIANT& v : variants)
            VariantClear(&v);
    }
    BSTR string(Reader& in)
    {
        const unsigned length = in.byte() % 8;
        char16_t units[8] = {};
        for (unsigned i = 0; i < length; ++i)
            units[i] = in.value<char16_t>();
        BSTR s = SysAllocStringLen(units, length);
        owned.push_back(s);
        return s;
    }
};

void fill(VARIANT& arg, size_t index, Reader& in, Storage& storage, bool allowNull)
{
    const uint8_t kind = in.byte();
    const bool null = allowNull && (kind & 0x80);
    std::memset(&arg, 0, sizeof arg);
    switch (kind % 14) {
    case 0: arg.vt = VT_EMPTY; break;
    case 1: arg.vt = VT_I4; arg.lVal = in.value<int32_t>(); break;
    case 2: arg.vt = VT_BOOL; arg.boolVal = in.value<VARIANT_BOOL>(); break;
    case 3: arg.vt = VT_R4; arg.fltVal = in.value<float>(); break;
    case 4: arg.vt = VT_R8; arg.dblVal = in.value<double>(); break;
    case 5: arg.vt = VT_BSTR; arg.bstrVal = storage.string(in); break;
    case 6:
        arg.vt = VT_I4 | VT_BYREF;
        storage.ints[index] = in.value<int32_t>();
        arg.plVal = null ? nullptr : &storage.ints[index];
        break;
    case 7:
        arg.vt = VT_BOOL | VT_BYREF;
        storage.bools[index] = in.value<VARIANT_BOOL>();
        arg.pboolVal = null ? nullptr : &storage.bools[index];
        break;
    case 8:
        arg.vt = VT_BSTR | VT_BYREF;
        storage.strings[index] = storage.string(in);
        arg.pbstrVal = null ? nullptr : &storage.strings[index];
        break;
    case 9: {
        arg.vt = VT_VARIANT | VT_BYREF;
        VARIANT& target = storage.variants[index];
        if (in.byte() & 1) {
            target.vt = VT_BSTR;
            target.bstrVal = SysAllocStringLen(u"x", 1);
        } else {
            target.vt = VT_I4;
            target.lVal = in.value<int32_t>();
        }
        arg.pvarVal = null ? nullptr : &target;
        break;
    }
    case 10: arg.vt = VT_DISPATCH; break; // a null interface is a valid argument
    case 11: arg.vt = VT_NULL; break;
    case 12: arg.vt = VT_I2; arg.iVal = in.value<int16_t>(); break;
    default:
        // Any type tag at all, its value fields zero: nothing in it points anywhere.
        arg.vt = in.value<VARTYPE>() & ~VT_BYREF;
        break;
    }
}

volatile unsigned g_sink;

void useString(BSTR s)
{
    const std::u16string_view text = vl::bstrView(s);
    for (char16_t c : text)
        g_sink = g_sink + c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in(data, size);
    const uint8_t shape = in.byte();
    const bool noArray = shape & 0x80;
    const bool allowNull = shape & 0x40;
    const size_t count = shape % 12;

    Storage storage;
    VARIANT args[12];
    for (size_t i = 0; i < count; ++i)
        fill(args[i], i, in, storage, allowNull);
    DISPPARAMS params {noArray ? nullptr : args, nullptr, static_cast<UINT>(count), 0};

    vl::EventSlot every;
    every.assign(std::function<void(TObject*, int32_t, VARIANT_BOOL, float, double, BSTR, int32_t&, VARIANT_BOOL&,
                     vl::Variant, VARIANT&, IDispatch*)>(
        [](TObject*, int32_t i, VARIANT_BOOL b, float f, double d, BSTR s, int32_t& ri, VARIANT_BOOL& rb, vl::Variant v,
            VARIANT& rv, IDispatch*) {
            g_sink = g_sink + static_cast<unsigned>(i) + static_cast<unsigned>(b) + (f == f) + (d == d);
            useString(s);
            // Wraps at the maximum like the control's own counters; a signed overflow would be the
            // handler's fault, not the conversion's.
            ri = static_cast<int32_t>(static_cast<uint32_t>(ri) + 1u);
            rb = VARIANT_TRUE;
            if (v.ptr()->vt == VT_BSTR)
                useString(v.ptr()->bstrVal);
            g_sink = g_sink + rv.vt;
        }));
    every.invoke(nullptr, &params);

    // The same kinds in other positions, so each argument meets each conversion.
    vl::EventSlot shifted;
    shifted.assign(std::function<void(TObject*, BSTR, vl::Variant, VARIANT&, int32_t&, double, VARIANT_BOOL, BSTR)>(
        [](TObject*, BSTR s, vl::Variant v, VARIANT& rv, int32_t& ri, double, VARIANT_BOOL, BSTR t) {
            useString(s);
            useString(t);
            if (v.ptr()->vt == VT_BSTR)
                useString(v.ptr()->bstrVal);
            g_sink = g_sink + rv.vt + static_cast<unsigned>(ri);
        }));
    shifted.invoke(nullptr, &params);

    for (size_t i = 0; i < count; ++i) {
        if (!(args[i].vt & VT_BYREF) && args[i].vt != VT_BSTR)
            VariantClear(&args[i]); // the strings are freed with their storage
    }
    return 0;
}
