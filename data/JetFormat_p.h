#pragma once
// Layout facts of Jet 4 database files shared by the writer and the reader, visible to the data
// layer and its tests only.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vl::jet
{

inline constexpr std::size_t PageSize = 4096;
inline constexpr std::size_t DataRowCountOffset = 12; // row count of a data page; offsets follow
inline constexpr std::size_t MemoHeaderSize = 12;
inline constexpr uint32_t CatalogPage = 2; // MSysObjects' table definition
inline constexpr uint32_t HeaderMaskKey = 0x6b39dac7;
inline constexpr std::size_t HeaderMaskStart = 0x18;
inline constexpr std::size_t HeaderMaskLength = 128;

// Column type codes of table definitions.
enum ColumnType : uint8_t {
    ColBoolean = 0x01,
    ColByte = 0x02,
    ColInteger = 0x03,
    ColLong = 0x04,
    ColMoney = 0x05,
    ColSingle = 0x06,
    ColDouble = 0x07,
    ColDateTime = 0x08,
    ColBinary = 0x09,
    ColText = 0x0a,
    ColOle = 0x0b,
    ColMemo = 0x0c,
    ColGuid = 0x0f,
    ColNumeric = 0x10
};

// Column flags of table definitions.
inline constexpr uint8_t FlagFixed = 0x01, FlagUpdatable = 0x02, FlagAutoLong = 0x04;

inline uint16_t get16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t get32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
        | (static_cast<uint32_t>(p[3]) << 24);
}

// The RC4 stream that masks the header region of page 0 (applying it twice restores the bytes).
void applyHeaderMask(unsigned char* page);

// Text of a Jet 4 text or memo value: UTF-16LE, or the compressed form (0xFF 0xFE, then runs of
// one-byte characters and two-byte characters separated by 0x00) when that is shorter and every
// character can be written. Input and output of the codec are UTF-8 / raw bytes.
std::string encodeText(std::string_view utf8, bool allowCompression);
std::string decodeText(std::string_view bytes);

} // namespace vl::jet
