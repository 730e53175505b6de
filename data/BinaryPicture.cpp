#include "BinaryPicture.h"

#include <cstdint>

namespace vl
{

namespace
{

constexpr std::string_view PngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr std::string_view PngEnd("IEND", 4);

std::uint32_t littleEndian32(std::string_view bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The picture starting at the front of `bytes`, cut to its own length where its format states one,
// so the bytes an OLE wrapper puts after it are left out.
BinaryPicture pictureAtFront(std::string_view bytes)
{
    if (bytes.substr(0, PngSignature.size()) == PngSignature) {
        const std::size_t end = bytes.find(PngEnd, PngSignature.size());
        if (end != std::string_view::npos && end + 8 <= bytes.size())
            bytes = bytes.substr(0, end + 8); // the IEND chunk's type and CRC
        return { bytes, "image/png" };
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xFF\xD8\xFF") {
        // The last end-of-image marker: a thumbnail inside the picture ends with one of its own.
        const std::size_t end = bytes.rfind("\xFF\xD9");
        return { end == std::string_view::npos || end < 3 ? bytes : bytes.substr(0, end + 2), "image/jpeg" };
    }
    if (bytes.substr(0, 6) == "GIF87a" || bytes.substr(0, 6) == "GIF89a")
        return { bytes, "image/gif" };
    // "BM" alone is too common a pair of bytes: the header's size must fit and its reserved bytes be 0.
    if (bytes.size() >= 26 && bytes.substr(0, 2) == "BM" && littleEndian32(bytes, 6) == 0) {
        const std::uint32_t size = littleEndian32(bytes, 2);
        const std::uint32_t offset = littleEndian32(bytes, 10);
        if (size >= 26 && size <= bytes.size() && offset >= 26 && offset < size)
            return { bytes.substr(0, size), "image/bmp" };
    }
    return { bytes, {} };
}

// An OLE object as Access stores it: a header that starts 0x15 0x1C and names the object's class.
bool isOleObject(std::string_view value)
{
    if (value.size() < 20 || value.substr(0, 2) != "\x15\x1C")
        return false;
    const std::string_view header = value.substr(0, 512);
    return header.find("Package") != std::string_view::npos || header.find("PBrush") != std::string_view::npos;
}

constexpr char Base64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void appendBase64(std::string& out, std::string_view bytes)
{
    out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t n = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16
            | std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8 | static_cast<unsigned char>(bytes[i + 2]);
        out += Base64Digits[n >> 18 & 63];
        out += Base64Digits[n >> 12 & 63];
        out += Base64Digits[n >> 6 & 63];
        out += Base64Digits[n & 63];
    }
    if (const std::size_t rest = bytes.size() - i) {
        std::uint32_t n = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16;
        if (rest == 2)
            n |= std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
        out += Base64Digits[n >> 18 & 63];
        out += Base64Digits[n >> 12 & 63];
        out += rest == 2 ? Base64Digits[n >> 6 & 63] : '=';
        out += '=';
    }
}

} // namespace

BinaryPicture findPicture(std::string_view value)
{
    const BinaryPicture front = pictureAtFront(value);
    if (!front.mimeType.empty() || !isOleObject(value))
        return front;
    // The wrapper's layout differs between the classes and the programs that wrote it; the picture's
    // own signature is what they share.
    for (std::size_t at = 2; at < value.size(); ++at) {
        const char c = value[at];
        if (c != '\x89' && c != '\xFF' && c != 'G' && c != 'B')
            continue;
        const BinaryPicture inner = pictureAtFront(value.substr(at));
        if (!inner.mimeType.empty())
            return inner;
    }
    return front;
}

std::string binaryDataUri(std::string_view value)
{
    if (value.empty())
        return {};
    const BinaryPicture picture = findPicture(value);
    std::string uri = "data:";
    uri += picture.mimeType.empty() ? std::string_view("application/octet-stream") : picture.mimeType;
    uri += ";base64,";
    appendBase64(uri, picture.bytes);
    return uri;
}

} // namespace vl
