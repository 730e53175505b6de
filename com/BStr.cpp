#include "BStr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace
{

// The count sits in the four bytes before the text; the block starts there.
uint32_t* header(BSTR s)
{
    return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(s) - sizeof(uint32_t));
}

BSTR allocateBytes(const void* bytes, size_t byteCount)
{
    if (byteCount > std::numeric_limits<uint32_t>::max() - 16)
        return nullptr;
    // Two zero bytes always follow; a third keeps an odd byte length terminated on a character.
    char* block = static_cast<char*>(std::malloc(sizeof(uint32_t) + byteCount + 3));
    if (!block)
        return nullptr;
    const uint32_t count = uint32_t(byteCount);
    std::memcpy(block, &count, sizeof count);
    char* text = block + sizeof(uint32_t);
    if (bytes)
        std::memcpy(text, bytes, byteCount);
    else
        std::memset(text, 0, byteCount);
    std::memset(text + byteCount, 0, 3);
    return reinterpret_cast<BSTR>(text);
}

UINT lengthOf(const OLECHAR* text)
{
    UINT n = 0;
    while (text[n])
        ++n;
    return n;
}

} // namespace

BSTR SysAllocString(const OLECHAR* text)
{
    if (!text)
        return nullptr;
    return SysAllocStringLen(text, lengthOf(text));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT len)
{
    return allocateBytes(text, size_t(len) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT len)
{
    return allocateBytes(bytes, len);
}

BOOL SysReAllocString(BSTR* bstr, const OLECHAR* text)
{
    if (!bstr)
        return FALSE;
    return SysReAllocStringLen(bstr, text, text ? lengthOf(text) : 0);
}

BOOL SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT len)
{
    if (!bstr)
        return FALSE;
    BSTR fresh = SysAllocStringLen(text, len);
    if (!fresh)
        return FALSE;
    SysFreeString(*bstr);
    *bstr = fresh;
    return TRUE;
}

void SysFreeString(BSTR bstr)
{
    if (bstr)
        std::free(header(bstr));
}

UINT SysStringLen(BSTR bstr)
{
    return bstr ? *header(bstr) / sizeof(OLECHAR) : 0;
}

UINT SysStringByteLen(BSTR bstr)
{
    return bstr ? *header(bstr) : 0;
}

namespace vl
{

BStr::BStr(std::u16string_view text)
    : m_s(text.empty() ? nullptr : SysAllocStringLen(text.data(), UINT(text.size())))
{
}

BStr::BStr(const BStr& other)
    : m_s(other.m_s ? SysAllocStringByteLen(reinterpret_cast<const char*>(other.m_s), SysStringByteLen(other.m_s))
                    : nullptr)
{
}

} // namespace vl
