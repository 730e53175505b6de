#pragma once
// Byte streams: the platform's IStream shape, and a memory stream over a byte vector.

#include "ComObject.h"
#include "ComPtr.h"

#include <cstdint>
#include <vector>

// {0C733A30-2A1C-11CE-ADE5-00AA0044773D}
inline constexpr IID IID_ISequentialStream
    = { 0x0C733A30, 0x2A1C, 0x11CE, { 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D } };
// {0000000C-0000-0000-C000-000000000046}
inline constexpr IID IID_IStream = { 0x0000000C, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;
inline constexpr DWORD STGTY_STREAM = 2;
inline constexpr DWORD STATFLAG_DEFAULT = 0;
inline constexpr DWORD STATFLAG_NONAME = 1;

// Simplified: the name (freed with CoTaskMemFree when non-null), type and size only.
struct STATSTG {
    LPOLESTR pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    DWORD grfMode;
};

class ISequentialStream : public IUnknown
{
public:
    // S_FALSE when fewer than count bytes were read.
    virtual HRESULT Read(void* buffer, ULONG count, ULONG* read) = 0; // slot 3
    virtual HRESULT Write(const void* buffer, ULONG count, ULONG* written) = 0; // slot 4

protected:
    ~ISequentialStream() = default;
};

class IStream : public ISequentialStream
{
public:
    virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0; // slot 5
    virtual HRESULT SetSize(ULARGE_INTEGER size) = 0; // slot 6
    virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, // slot 7
        ULARGE_INTEGER* written)
        = 0;
    virtual HRESULT Commit(DWORD flags) = 0; // slot 8
    virtual HRESULT Revert() = 0; // slot 9
    virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) = 0; // slot 10
    virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) = 0; // slot 11
    virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0; // slot 12
    virtual HRESULT Clone(IStream** copy) = 0; // slot 13

protected:
    ~IStream() = default;
};

namespace vl
{

// A growable in-memory stream positioned at its start. Region locks are not supported.
class MemoryStream : public ComObject<IStream>
{
public:
    explicit MemoryStream(std::vector<uint8_t> bytes = {});

    HRESULT Read(void* buffer, ULONG count, ULONG* read) override;
    HRESULT Write(const void* buffer, ULONG count, ULONG* written) override;
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    HRESULT SetSize(ULARGE_INTEGER size) override;
    HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override;
    HRESULT Commit(DWORD flags) override;
    HRESULT Revert() override;
    HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    HRESULT Stat(STATSTG* stat, DWORD flags) override;
    HRESULT Clone(IStream** copy) override;

    const std::vector<uint8_t>& bytes() const { return m_bytes; }

protected:
    void* interfaceFor(REFIID iid) override;

private:
    std::vector<uint8_t> m_bytes;
    size_t m_position = 0;
};

// A new memory stream holding bytes; the caller owns the reference.
ComPtr<IStream> createMemoryStream(std::vector<uint8_t> bytes = {});
// Everything from the stream's current position to its end.
HRESULT readRemainingBytes(IStream* stream, std::vector<uint8_t>& bytes);

} // namespace vl
