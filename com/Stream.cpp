#include "Stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vl
{

MemoryStream::MemoryStream(std::vector<uint8_t> bytes)
    : m_bytes(std::move(bytes))
{
}

void* MemoryStream::interfaceFor(REFIID iid)
{
    if (iid == IID_IStream || iid == IID_ISequentialStream)
        return static_cast<IStream*>(this);
    return nullptr;
}

HRESULT MemoryStream::Read(void* buffer, ULONG count, ULONG* read)
{
    if (!buffer && count)
        return STG_E_INVALIDPOINTER;
    const size_t available = m_position < m_bytes.size() ? m_bytes.size() - m_position : 0;
    const ULONG n = ULONG(std::min<size_t>(count, available));
    if (n)
        std::memcpy(buffer, m_bytes.data() + m_position, n);
    m_position += n;
    if (read)
        *read = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT MemoryStream::Write(const void* buffer, ULONG count, ULONG* written)
{
    if (!buffer && count)
        return STG_E_INVALIDPOINTER;
    if (written)
        *written = 0;
    try {
        if (m_position + count > m_bytes.size())
            m_bytes.resize(m_position + count);
    } catch (const std::bad_alloc&) {
        return STG_E_MEDIUMFULL;
    }
    if (count)
        std::memcpy(m_bytes.data() + m_position, buffer, count);
    m_position += count;
    if (written)
        *written = count;
    return S_OK;
}

HRESULT MemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition)
{
    int64_t base = 0;
    switch (origin) {
    case STREAM_SEEK_SET:
        break;
    case STREAM_SEEK_CUR:
        base = int64_t(m_position);
        break;
    case STREAM_SEEK_END:
        base = int64_t(m_bytes.size());
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    if ((move.QuadPart < 0 && base + move.QuadPart < 0) || (move.QuadPart > 0 && move.QuadPart > INT64_MAX - base))
        return STG_E_INVALIDFUNCTION;
    m_position = size_t(base + move.QuadPart);
    if (newPosition)
        newPosition->QuadPart = m_position;
    return S_OK;
}

HRESULT MemoryStream::SetSize(ULARGE_INTEGER size)
{
    if (size.QuadPart > std::numeric_limits<uint32_t>::max())
        return STG_E_MEDIUMFULL;
    try {
        m_bytes.resize(size_t(size.QuadPart));
    } catch (const std::bad_alloc&) {
        return STG_E_MEDIUMFULL;
    }
    return S_OK;
}

HRESULT MemoryStream::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written)
{
    if (!target)
        return STG_E_INVALIDPOINTER;
    const size_t available = m_position < m_bytes.size() ? m_bytes.size() - m_position : 0;
    const ULONG n = ULONG(std::min<uint64_t>({ count.QuadPart, available, std::numeric_limits<ULONG>::max() }));
    ULONG done = 0;
    const HRESULT hr = target->Write(m_bytes.data() + m_position, n, &done);
    m_position += n;
    if (read)
        read->QuadPart = n;
    if (written)
        written->QuadPart = done;
    return hr;
}

HRESULT MemoryStream::Commit(DWORD)
{
    return S_OK;
}
HRESULT MemoryStream::Revert()
{
    return S_OK;
}
HRESULT MemoryStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return STG_E_INVALIDFUNCTION;
}
HRESULT MemoryStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return STG_E_INVALIDFUNCTION;
}

HRESULT MemoryStream::Stat(STATSTG* stat, DWORD)
{
    if (!stat)
        return STG_E_INVALIDPOINTER;
    *stat = STATSTG {};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = m_bytes.size();
    return S_OK;
}

HRESULT MemoryStream::Clone(IStream** copy)
{
    if (!copy)
        return STG_E_INVALIDPOINTER;
    auto* clone = new MemoryStream(m_bytes);
    clone->m_position = m_position;
    *copy = clone;
    return S_OK;
}

ComPtr<IStream> createMemoryStream(std::vector<uint8_t> bytes)
{
    return ComPtr<IStream>::adopt(new MemoryStream(std::move(bytes)));
}

HRESULT readRemainingBytes(IStream* stream, std::vector<uint8_t>& bytes)
{
    if (!stream)
        return E_POINTER;
    bytes.clear();
    uint8_t chunk[4096];
    for (;;) {
        ULONG read = 0;
        const HRESULT hr = stream->Read(chunk, sizeof chunk, &read);
        if (FAILED(hr))
            return hr;
        bytes.insert(bytes.end(), chunk, chunk + read);
        if (read < sizeof chunk)
            return S_OK;
    }
}

} // namespace vl
