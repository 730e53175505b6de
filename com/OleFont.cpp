#include "OleFont.h"

HRESULT OleCreateFontIndirect(FONTDESC*, REFIID, void**) { return E_NOTIMPL; }
namespace vl {
ComPtr<IFont> createFont(const FontDescription&) { return {}; }
HRESULT describeFont(IFont*, FontDescription&) { return E_NOTIMPL; }
} // namespace vl
