#pragma once
// The whole result of a query held in memory, as the providers of the data layer read it. Private
// to the data layer (and its tests).

#include "Provider.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace vl
{

// A cell's value: which member is set follows from its kind. A text or byte string points at its
// bytes, which keep their length in the four bytes before them (see storedBytes).
union StoredCell {
    int64_t integer;
    double real;
    const char* data;
};

// One cell of a StoredResult, to be written in place. Valid until the result is destroyed.
struct CellRef {
    StoredCell& value;
    ProviderCell::Kind& kind;

    // Integer or Currency.
    void setInteger(int64_t integer, ProviderCell::Kind as = ProviderCell::Kind::Integer) const
    {
        kind = as;
        value.integer = integer;
    }
    // Float or Date.
    void setReal(double real, ProviderCell::Kind as = ProviderCell::Kind::Float) const
    {
        kind = as;
        value.real = real;
    }
};

// The bytes of a Text or Bytes cell from its data pointer.
inline std::string_view storedBytes(const char* data)
{
    uint32_t length = 0;
    std::memcpy(&length, data - sizeof length, sizeof length);
    return { data, length };
}

// Cells in blocks of rows, texts and bytes in blocks of bytes: the result grows without ever
// copying what it holds, so reading a large result needs no second copy of it. A cell is eight bytes
// of value and one byte of kind, kept apart so that neither is padded: a million rows of nine
// columns take 81 MB besides their texts.
//
// The columns are added first; rows are then appended, all their cells null, and written through
// at(). Texts and bytes are copied in by storeBytes and stay where they are while the result lives.
class StoredResult final : public ProviderResult
{
public:
    static constexpr std::size_t RowsPerBlock = 4096;
    static constexpr std::size_t BytesPerBlock = 1 << 20;
    // A value that would take more than this (its length included) gets a block of its own, so that
    // a long value never leaves most of a shared block empty.
    static constexpr std::size_t LongValueSize = BytesPerBlock / 4;

    const std::vector<ProviderColumn>& columns() const override { return m_columns; }
    std::size_t rowCount() const override { return m_rows; }
    ProviderCell cell(std::size_t row, std::size_t column) const override { return cellAt(row, column); }
    // The same without the virtual call, for a reader that knows it holds a stored result.
    ProviderCell cellAt(std::size_t row, std::size_t column) const
    {
        const CellBlock& block = m_cellBlocks[row / RowsPerBlock];
        const std::size_t index = (row % RowsPerBlock) * m_columns.size() + column;
        const StoredCell& stored = block.values[index];
        ProviderCell result;
        result.kind = block.kinds[index];
        switch (result.kind) {
        case ProviderCell::Kind::Integer:
        case ProviderCell::Kind::Currency:
            result.integer = stored.integer;
            break;
        case ProviderCell::Kind::Float:
        case ProviderCell::Kind::Date:
            result.real = stored.real;
            break;
        case ProviderCell::Kind::Text:
        case ProviderCell::Kind::Bytes:
            result.bytes = storedBytes(stored.data);
            break;
        case ProviderCell::Kind::Null:
            break;
        }
        return result;
    }

    // Only before the first row: the width of the stored rows is fixed by then.
    void addColumn(ProviderColumn column);
    // The column's description, to be completed after reading (the rows are not touched).
    ProviderColumn& describedColumn(std::size_t column) { return m_columns[column]; }

    // The row number of a new last row, all of its cells null.
    std::size_t appendRow();
    // row below rowCount(), column below columns().size().
    CellRef at(std::size_t row, std::size_t column)
    {
        CellBlock& block = m_cellBlocks[row / RowsPerBlock];
        const std::size_t index = (row % RowsPerBlock) * m_columns.size() + column;
        return { block.values[index], block.kinds[index] };
    }

    // Makes the cell a Text or Bytes cell holding a copy of bytes. Raises EOleException ("A value is
    // too long to be read") for a value of 4 GiB or more, the cell then unchanged.
    void storeBytes(CellRef cell, ProviderCell::Kind kind, std::string_view bytes);

private:
    struct CellBlock {
        std::unique_ptr<StoredCell[]> values; // uninitialised until written
        std::unique_ptr<ProviderCell::Kind[]> kinds; // value-initialised: Null
    };

    const char* keep(const char* data, uint32_t size);

    std::vector<ProviderColumn> m_columns;
    std::size_t m_rows = 0;
    std::vector<CellBlock> m_cellBlocks;
    std::vector<std::unique_ptr<char[]>> m_byteBlocks;
    std::size_t m_blockUsed = 0;
    std::vector<std::unique_ptr<char[]>> m_longValues; // one block each
};

} // namespace vl
