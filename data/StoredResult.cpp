#include "StoredResult_p.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

namespace vl
{

void StoredResult::addColumn(ProviderColumn column)
{
    // The cell blocks already made are as wide as the columns were.
    if (m_rows > 0)
        throw std::logic_error("StoredResult::addColumn after the first row");
    m_columns.push_back(std::move(column));
}

std::size_t StoredResult::appendRow()
{
    if (m_rows % RowsPerBlock == 0) {
        // Values are only read under a kind that says they were written, so only the kinds are
        // cleared: the pages of a block's values are not touched before its rows are.
        const std::size_t cells = RowsPerBlock * m_columns.size();
        m_cellBlocks.push_back(
            { std::make_unique_for_overwrite<StoredCell[]>(cells), std::make_unique<ProviderCell::Kind[]>(cells) });
    }
    return m_rows++;
}

void StoredResult::storeBytes(CellRef cell, ProviderCell::Kind kind, std::string_view bytes)
{
    if (bytes.size() > std::numeric_limits<uint32_t>::max())
        providerError("A value is too long to be read.", E_PROVIDER_FAIL);
    cell.value.data = keep(bytes.data(), static_cast<uint32_t>(bytes.size()));
    cell.kind = kind;
}

const char* StoredResult::keep(const char* data, uint32_t size)
{
    const std::size_t needed = sizeof size + size;
    char* place = nullptr;
    if (needed > LongValueSize) {
        place = m_longValues.emplace_back(std::make_unique_for_overwrite<char[]>(needed)).get();
    } else {
        if (m_byteBlocks.empty() || m_blockUsed + needed > BytesPerBlock) {
            m_byteBlocks.push_back(std::make_unique_for_overwrite<char[]>(BytesPerBlock));
            m_blockUsed = 0;
        }
        place = m_byteBlocks.back().get() + m_blockUsed;
        m_blockUsed += needed;
    }
    std::memcpy(place, &size, sizeof size);
    if (size > 0)
        std::memcpy(place + sizeof size, data, size);
    return place + sizeof size;
}

} // namespace vl
