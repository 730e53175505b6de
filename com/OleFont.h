#pragma once
// Font objects as controls and their sites exchange them (the ambient font, font properties).

#include "BStr.h"
#include "ComObject.h"
#include "ComPtr.h"

#include <string>

// {BEF6E002-A874-101A-8BBA-00AA00300CAB}
inline constexpr IID IID_IFont = { 0xBEF6E002, 0xA874, 0x101A, { 0x8B, 0xBA, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB } };
// {BEF6E003-A874-101A-8BBA-00AA00300CAB}
inline constexpr IID IID_IFontDisp = { 0xBEF6E003, 0xA874, 0x101A, { 0x8B, 0xBA, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB } };

// Properties of IFontDisp, reached through Invoke.
inline constexpr DISPID DISPID_FONT_NAME = 0;
inline constexpr DISPID DISPID_FONT_SIZE = 2;
inline constexpr DISPID DISPID_FONT_BOLD = 3;
inline constexpr DISPID DISPID_FONT_ITALIC = 4;
inline constexpr DISPID DISPID_FONT_UNDER = 5;
inline constexpr DISPID DISPID_FONT_STRIKE = 6;
inline constexpr DISPID DISPID_FONT_WEIGHT = 7;
inline constexpr DISPID DISPID_FONT_CHARSET = 8;

inline constexpr SHORT FW_NORMAL = 400;
inline constexpr SHORT FW_BOLD = 700;
inline constexpr SHORT DEFAULT_CHARSET = 1;

struct TEXTMETRICOLE; // not supported: QueryTextMetrics answers E_NOTIMPL

// Size is in points, as currency (12 pt is int64 120000). Getters of strings hand out new BSTRs.
class IFont : public IUnknown
{
public:
    virtual HRESULT get_Name(BSTR* name) = 0; // slot 3
    virtual HRESULT put_Name(BSTR name) = 0; // slot 4
    virtual HRESULT get_Size(CY* size) = 0; // slot 5
    virtual HRESULT put_Size(CY size) = 0; // slot 6
    virtual HRESULT get_Bold(BOOL* bold) = 0; // slot 7
    virtual HRESULT put_Bold(BOOL bold) = 0; // slot 8
    virtual HRESULT get_Italic(BOOL* italic) = 0; // slot 9
    virtual HRESULT put_Italic(BOOL italic) = 0; // slot 10
    virtual HRESULT get_Underline(BOOL* underline) = 0; // slot 11
    virtual HRESULT put_Underline(BOOL underline) = 0; // slot 12
    virtual HRESULT get_Strikethrough(BOOL* strikethrough) = 0; // slot 13
    virtual HRESULT put_Strikethrough(BOOL strikethrough) = 0; // slot 14
    virtual HRESULT get_Weight(SHORT* weight) = 0; // slot 15
    virtual HRESULT put_Weight(SHORT weight) = 0; // slot 16
    virtual HRESULT get_Charset(SHORT* charset) = 0; // slot 17
    virtual HRESULT put_Charset(SHORT charset) = 0; // slot 18
    virtual HRESULT get_hFont(HFONT* font) = 0; // slot 19
    virtual HRESULT Clone(IFont** copy) = 0; // slot 20
    // S_OK when all properties are equal, S_FALSE otherwise.
    virtual HRESULT IsEqual(IFont* other) = 0; // slot 21
    virtual HRESULT SetRatio(LONG logical, LONG himetric) = 0; // slot 22
    virtual HRESULT QueryTextMetrics(TEXTMETRICOLE* metrics) = 0; // slot 23
    virtual HRESULT AddRefHfont(HFONT font) = 0; // slot 24
    virtual HRESULT ReleaseHfont(HFONT font) = 0; // slot 25
    virtual HRESULT SetHdc(HDC dc) = 0; // slot 26

protected:
    ~IFont() = default;
};

// The dispatch face of a font: its properties by the DISPID_FONT_* numbers.
class IFontDisp : public IDispatch
{
protected:
    ~IFontDisp() = default;
};

struct FONTDESC {
    UINT cbSizeofstruct;
    LPOLESTR lpstrName;
    CY cySize;
    SHORT sWeight;
    SHORT sCharset;
    BOOL fItalic;
    BOOL fUnderline;
    BOOL fStrikethrough;
};

// A new font object answering IFont and IFontDisp, from desc (null: "MS Sans Serif" 8 pt normal).
// Bold is weight above 550; setting it makes the weight FW_BOLD or FW_NORMAL.
HRESULT OleCreateFontIndirect(FONTDESC* desc, REFIID iid, void** object);

namespace vl
{
// The plain values of a font, for hosts that mirror a font object into their own font type.
struct FontDescription {
    std::u16string name;
    CY size {};
    SHORT weight = FW_NORMAL;
    SHORT charset = DEFAULT_CHARSET;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    bool bold() const { return weight > 550; }
};
ComPtr<IFont> createFont(const FontDescription& description);
// Reads every property of font; E_POINTER for null.
HRESULT describeFont(IFont* font, FontDescription& description);
} // namespace vl
