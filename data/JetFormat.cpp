#include "JetFormat_p.h"

#include "Text.h"

#include <utility>

namespace vl::jet
{

void applyHeaderMask(unsigned char* page)
{
    unsigned char state[256];
    for (int i = 0; i < 256; ++i)
        state[i] = static_cast<unsigned char>(i);
    const unsigned char key[4] = { HeaderMaskKey & 0xff, (HeaderMaskKey >> 8) & 0xff, (HeaderMaskKey >> 16) & 0xff,
        (HeaderMaskKey >> 24) & 0xff };
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + state[i] + key[i % 4]) & 0xff;
        std::swap(state[i], state[j]);
    }
    for (std::size_t n = 0, i = 0, j = 0; n < HeaderMaskLength; ++n) {
        i = (i + 1) & 0xff;
        j = (j + state[i]) & 0xff;
        std::swap(state[i], state[j]);
        page[HeaderMaskStart + n] ^= state[(state[i] + state[j]) & 0xff];
    }
}

std::string encodeText(std::string_view utf8, bool allowCompression)
{
    const std::u16string wide = utf8ToUtf16(utf8);
    std::string plain;
    plain.reserve(wide.size() * 2);
    for (char16_t c : wide) {
        plain += static_cast<char>(c & 0xff);
        plain += static_cast<char>(c >> 8);
    }
    if (!allowCompression || wide.empty())
        return plain;
    // A 0x00 byte switches modes, so no character may have a zero low byte.
    for (char16_t c : wide)
        if ((c & 0xff) == 0)
            return plain;
    std::string packed = "\xff\xfe";
    bool compressed = true;
    for (char16_t c : wide) {
        const bool narrow = c < 0x100;
        if (narrow != compressed) {
            packed += '\0';
            compressed = narrow;
        }
        packed += static_cast<char>(c & 0xff);
        if (!narrow)
            packed += static_cast<char>(c >> 8);
    }
    return packed.size() < plain.size() ? packed : plain;
}

std::string decodeText(std::string_view bytes)
{
    std::u16string wide;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xff
        && static_cast<unsigned char>(bytes[1]) == 0xfe) {
        bool compressed = true;
        for (std::size_t i = 2; i < bytes.size();) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            if (b == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                wide += static_cast<char16_t>(b);
                ++i;
            } else if (i + 1 < bytes.size()) {
                wide += static_cast<char16_t>(b | (static_cast<unsigned char>(bytes[i + 1]) << 8));
                i += 2;
            } else {
                break; // a dangling half character of a damaged value
            }
        }
    } else {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            wide += static_cast<char16_t>(
                static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return utf16ToUtf8(wide);
}

} // namespace vl::jet
