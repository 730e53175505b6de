#include "WideDocument.h"

#include "Exceptions.h"
#include "LargePages.h"
#include "Text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace vl {
namespace {

constexpr qsizetype HeaderUnits = sizeof(std::uint32_t) / sizeof(char16_t);
constexpr std::size_t SliceBytes = 32 * 1024;

// A slice ends after a byte below 0x30, which no code page of a locale uses inside a character:
// UTF-8's continuation bytes are 0x80 and up, the double-byte pages' second bytes 0x40 and up,
// GB18030's four-byte forms hold digits (0x30 to 0x39) but nothing below. The markup gives one
// every few bytes (space, quote, slash); without one the rest goes whole.
std::size_t sliceEnd(std::string_view narrow, std::size_t pos)
{
    const std::size_t end = std::min(narrow.size(), pos + SliceBytes);
    if (end == narrow.size())
        return end;
    std::size_t cut = end;
    while (cut > pos && static_cast<unsigned char>(narrow[cut - 1]) >= 0x30)
        --cut;
    return cut > pos ? cut : narrow.size();
}

} // namespace

WideDocument::WideDocument(std::string_view narrow, std::string_view codePage)
{
    // No code page takes fewer narrow bytes than wide units for a character.
    m_buffer.reserve(static_cast<qsizetype>(narrow.size()) + HeaderUnits);
    adviseLargePages(m_buffer.data(), static_cast<std::size_t>(m_buffer.capacity()) * sizeof(QChar));
    m_buffer.resize(HeaderUnits);
    for (std::size_t pos = 0; pos < narrow.size();) {
        const std::size_t end = sliceEnd(narrow, pos);
        const std::u16string wide = toWide(narrow.substr(pos, end - pos), codePage);
        m_buffer.append(reinterpret_cast<const QChar*>(wide.data()), static_cast<qsizetype>(wide.size()));
        pos = end;
    }
    const auto bytes = static_cast<std::uint64_t>(m_buffer.size() - HeaderUnits) * sizeof(char16_t);
    if (bytes > std::numeric_limits<std::uint32_t>::max())
        throw Exception("The data document is too long to hand to the viewer");
    const auto count = static_cast<std::uint32_t>(bytes);
    std::memcpy(static_cast<void*>(m_buffer.data()), &count, sizeof count);
}

BSTR WideDocument::bstr()
{
    return m_buffer.size() > HeaderUnits ? reinterpret_cast<BSTR>(m_buffer.data() + HeaderUnits) : nullptr;
}

QString WideDocument::takeText()
{
    // Erasing at the front moves the start only: nothing is copied.
    m_buffer.remove(0, HeaderUnits);
    return std::move(m_buffer);
}

} // namespace vl
