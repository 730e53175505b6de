#include "ComTypes.h"

#include <clocale>
#include <cstdlib>
#include <cstring>

namespace
{

int hexValue(char32_t c)
{
    if (c >= '0' && c <= '9')
        return int(c - '0');
    if (c >= 'a' && c <= 'f')
        return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return int(c - 'A' + 10);
    return -1;
}

// Shared by the narrow and wide parsers; text must be exactly the 38-character braced form.
template <class Char> bool parseBraced(const Char* text, size_t length, GUID& guid)
{
    static constexpr char pattern[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (length != sizeof(pattern) - 1)
        return false;
    uint8_t bytes[16];
    int nibbles = 0;
    for (size_t i = 0; i < length; ++i) {
        if (pattern[i] != 'X') {
            if (char32_t(text[i]) != char32_t(pattern[i]))
                return false;
            continue;
        }
        const int v = hexValue(char32_t(text[i]));
        if (v < 0)
            return false;
        if (nibbles % 2 == 0)
            bytes[nibbles / 2] = uint8_t(v << 4);
        else
            bytes[nibbles / 2] |= uint8_t(v);
        ++nibbles;
    }
    GUID result;
    result.Data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    result.Data2 = uint16_t(bytes[4] << 8 | bytes[5]);
    result.Data3 = uint16_t(bytes[6] << 8 | bytes[7]);
    std::memcpy(result.Data4, bytes + 8, 8);
    guid = result;
    return true;
}

} // namespace

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid)
{
    if (!text || !clsid)
        return E_POINTER;
    size_t length = 0;
    while (text[length] && length < 64)
        ++length;
    if (!parseBraced(text, length, *clsid)) {
        *clsid = GUID_NULL;
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid)
{
    return CLSIDFromString(text, iid);
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax)
{
    const std::string text = vl::guidToString(guid);
    if (!buffer || cchMax < int(text.size()) + 1)
        return 0;
    for (size_t i = 0; i < text.size(); ++i)
        buffer[i] = OLECHAR(text[i]);
    buffer[text.size()] = 0;
    return int(text.size()) + 1;
}

namespace vl
{

std::string guidToString(const GUID& guid)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(38);
    auto put = [&](uint64_t value, int nibbles) {
        for (int i = nibbles - 1; i >= 0; --i)
            text += digits[(value >> (4 * i)) & 0xF];
    };
    text += '{';
    put(guid.Data1, 8);
    text += '-';
    put(guid.Data2, 4);
    text += '-';
    put(guid.Data3, 4);
    text += '-';
    put(guid.Data4[0], 2);
    put(guid.Data4[1], 2);
    text += '-';
    for (int i = 2; i < 8; ++i)
        put(guid.Data4[i], 2);
    text += '}';
    return text;
}

bool parseGuid(std::string_view text, GUID& guid)
{
    return parseBraced(text.data(), text.size(), guid);
}

} // namespace vl

void* CoTaskMemAlloc(size_t size)
{
    return std::malloc(size ? size : 1);
}
void CoTaskMemFree(void* block)
{
    std::free(block);
}

LCID GetUserDefaultLCID()
{
    struct Entry {
        const char* prefix;
        LCID lcid;
    };
    // The common languages only; anything else counts as the neutral user default.
    static constexpr Entry table[] = {
        { "en_US", 0x0409 },
        { "en_GB", 0x0809 },
        { "de_DE", 0x0407 },
        { "fr_FR", 0x040C },
        { "es_ES", 0x0C0A },
        { "it_IT", 0x0410 },
        { "ja_JP", 0x0411 },
        { "ko_KR", 0x0412 },
        { "zh_CN", 0x0804 },
        { "zh_TW", 0x0404 },
        { "ru_RU", 0x0419 },
        { "pt_BR", 0x0416 },
        { "nl_NL", 0x0413 },
        { "pl_PL", 0x0415 },
        { "en", 0x0409 },
        { "de", 0x0407 },
        { "fr", 0x040C },
        { "zh", 0x0804 },
        { "C", 0x0409 },
        { "POSIX", 0x0409 },
    };
    const char* name = std::setlocale(LC_CTYPE, nullptr);
    if (!name)
        return 0x0409;
    for (const Entry& e : table)
        if (std::strncmp(name, e.prefix, std::strlen(e.prefix)) == 0)
            return e.lcid;
    return LOCALE_USER_DEFAULT;
}
