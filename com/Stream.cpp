#include "Stream.h"

namespace vl {
MemoryStream::MemoryStream(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
HRESULT MemoryStream::Read(void*, ULONG, ULONG*) { return E_NOTIMPL; }
HRESULT MemoryStream::Write(const void*, ULONG, ULONG*) { return E_NOTIMPL; }
HRESULT MemoryStream::Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) { return E_NOTIMPL; }
HRESULT MemoryStream::SetSize(ULARGE_INTEGER) { return E_NOTIMPL; }
HRESULT MemoryStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) { return E_NOTIMPL; }
HRESULT MemoryStream::Commit(DWORD) { return E_NOTIMPL; }
HRESULT MemoryStream::Revert() { return E_NOTIMPL; }
HRESULT MemoryStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
HRESULT MemoryStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
HRESULT MemoryStream::Stat(STATSTG*, DWORD) { return E_NOTIMPL; }
HRESULT MemoryStream::Clone(IStream**) { return E_NOTIMPL; }
void* MemoryStream::interfaceFor(REFIID) { return nullptr; }
ComPtr<IStream> createMemoryStream(std::vector<uint8_t>) { return {}; }
HRESULT readRemainingBytes(IStream*, std::vector<uint8_t>&) { return E_NOTIMPL; }
} // namespace vl
