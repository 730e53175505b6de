#pragma once
// Automation strings exactly as the platform lays them out: a 32-bit byte count just before the
// UTF-16 text and a zero character just after it. The null BSTR is the empty string.

#include "ComTypes.h"

#include <string>
#include <string_view>
#include <utility>

// Null text gives a null result; so does an allocation failure.
BSTR SysAllocString(const OLECHAR* text);
// Copies len characters of text (or leaves them zero when text is null); embedded zeros are kept.
BSTR SysAllocStringLen(const OLECHAR* text, UINT len);
// len bytes of bytes (zero when bytes is null), followed by a zero character.
BSTR SysAllocStringByteLen(const char* bytes, UINT len);
// Replaces *bstr by a copy of text; FALSE (and *bstr unchanged) on allocation failure.
BOOL SysReAllocString(BSTR* bstr, const OLECHAR* text);
BOOL SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT len);
// Null is allowed and ignored.
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

namespace vl
{

// The text of a BSTR (empty for null), without copying.
inline std::u16string_view bstrView(BSTR bstr)
{
    return bstr ? std::u16string_view(bstr, SysStringLen(bstr)) : std::u16string_view();
}

// Owns one BSTR (or none) and frees it when it goes.
class BStr
{
public:
    BStr() = default;
    // A new BSTR holding text; an empty text gives a null BSTR.
    explicit BStr(std::u16string_view text);
    BStr(const BStr& other);
    BStr(BStr&& other) noexcept
        : m_s(std::exchange(other.m_s, nullptr))
    {
    }
    ~BStr() { SysFreeString(m_s); }
    BStr& operator=(BStr other) noexcept
    {
        std::swap(m_s, other.m_s);
        return *this;
    }

    // Takes ownership of a BSTR allocated by the Sys* functions.
    static BStr adopt(BSTR s)
    {
        BStr result;
        result.m_s = s;
        return result;
    }
    // Hands the string to the caller, who must free it.
    [[nodiscard]] BSTR release() { return std::exchange(m_s, nullptr); }
    void reset() { SysFreeString(std::exchange(m_s, nullptr)); }

    BSTR get() const { return m_s; }
    // Out-parameter access: frees what is held first.
    BSTR* operator&()
    {
        reset();
        return &m_s;
    }
    UINT length() const { return SysStringLen(m_s); }
    bool empty() const { return length() == 0; }
    std::u16string_view view() const { return bstrView(m_s); }
    std::u16string str() const { return std::u16string(view()); }

private:
    BSTR m_s = nullptr;
};

// A BSTR in read-only static storage, for constant arguments: get() is passed unchanged and must
// never be freed. Usage: static constexpr vl::StaticBStr sheet(u"Sheet1");
template <size_t N> struct StaticBStr {
    uint32_t byteCount;
    char16_t text[N];

    constexpr StaticBStr(const char16_t (&literal)[N])
        : byteCount((N - 1) * sizeof(char16_t))
        , text {}
    {
        for (size_t i = 0; i < N; ++i)
            text[i] = literal[i];
    }
    BSTR get() const { return const_cast<BSTR>(text); }
};

} // namespace vl
