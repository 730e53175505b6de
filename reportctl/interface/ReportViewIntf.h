// Interfaces of the report viewer control, as its host sees them. Header only: the host includes it
// and never links the plug-in. Slot numbers are part of the contract; never reorder, only append.
#pragma once

#include "Unknown.h"

#include <cstdint>

// Class id of the control; its plug-in registers it in vlreportctl.classreg.
// {9CD362AE-2503-42F5-8053-389BEFBA293D}
inline constexpr CLSID CLSID_ReportView = {0x9CD362AE, 0x2503, 0x42F5, {0x80, 0x53, 0x38, 0x9B, 0xEF, 0xBA, 0x29, 0x3D}};
// {F14F7F6F-0177-41FB-8392-AB140AD8D394}
inline constexpr IID IID_IReportView = {0xF14F7F6F, 0x0177, 0x41FB, {0x83, 0x92, 0xAB, 0x14, 0x0A, 0xD8, 0xD3, 0x94}};
// {CF1BDBB8-77F0-4FF0-AB87-C7D60FC287DA}
inline constexpr IID IID_IReportDocument
    = {0xCF1BDBB8, 0x77F0, 0x4FF0, {0xAB, 0x87, 0xC7, 0xD6, 0x0F, 0xC2, 0x87, 0xDA}};
// {0E169685-CE51-4ABD-8E74-50680BBEF008}
inline constexpr IID IID_IReportData = {0x0E169685, 0xCE51, 0x4ABD, {0x8E, 0x74, 0x50, 0x68, 0x0B, 0xBE, 0xF0, 0x08}};
// {B921C403-4027-43BD-8A35-ECF6051C3E9F}
inline constexpr IID IID_IReportPrinter
    = {0xB921C403, 0x4027, 0x43BD, {0x8A, 0x35, 0xEC, 0xF6, 0x05, 0x1C, 0x3E, 0x9F}};
// {B2BEDC2A-D470-49EA-BDE6-7C117F5A6A18}
inline constexpr IID IID_ICustomFunction
    = {0xB2BEDC2A, 0xD470, 0x49EA, {0xBD, 0xE6, 0x7C, 0x11, 0x7F, 0x5A, 0x6A, 0x18}};
// Outgoing dispatch interface: events are IDispatch::Invoke calls with the DISPIDs below.
// {25426AF8-10CD-43BE-A6D8-EA284091BD4C}
inline constexpr IID DIID_IReportViewEvents
    = {0x25426AF8, 0x10CD, 0x43BE, {0xA6, 0xD8, 0xEA, 0x28, 0x40, 0x91, 0xBD, 0x4C}};

// DISPIDs of the control's properties and dispatch-reachable operations. A property read through
// IDispatch answers exactly one variant type: VT_I4 for enumerations and colours, VT_BOOL for booleans,
// VT_R8 for Scale, VT_BSTR for strings.
namespace ReportViewDispId {
inline constexpr DISPID BevelInner = 201; // VT_I4, ReportBevel
inline constexpr DISPID BevelOuter = 202; // VT_I4, ReportBevel
inline constexpr DISPID BorderStyle = 203; // VT_I4, ReportBorderStyle
inline constexpr DISPID Ctl3D = 204; // VT_BOOL
inline constexpr DISPID Enabled = -514; // VT_BOOL, the stock enabled property
inline constexpr DISPID Locked = 205; // VT_BOOL
inline constexpr DISPID Visible = 206; // VT_BOOL
inline constexpr DISPID DataSrc = 208; // VT_BSTR
inline constexpr DISPID ViewMode = 209; // VT_I4, ReportViewMode
inline constexpr DISPID AllowUnDo = 210; // VT_BOOL
inline constexpr DISPID ShowSheetTab = 212; // VT_BOOL
inline constexpr DISPID ShowNavigator = 213; // VT_BOOL
inline constexpr DISPID DocSrc = 215; // VT_BSTR
inline constexpr DISPID ShowPageBorder = 216; // VT_BOOL
inline constexpr DISPID SheetTabPosition = 217; // VT_I4, ReportSheetTabPosition
inline constexpr DISPID Scale = 218; // VT_R8, 1.0 is 100 %
inline constexpr DISPID CacheEnabled = 219; // VT_BOOL
inline constexpr DISPID CustomPrompt = 221; // VT_BOOL
inline constexpr DISPID WorkSpaceColor = 222; // VT_I4, colour 0x00BBGGRR
inline constexpr DISPID NavBackColor = 223; // VT_I4, colour
inline constexpr DISPID PaperColor = 224; // VT_I4, colour
inline constexpr DISPID ShowContextMenu = 227; // VT_BOOL
inline constexpr DISPID Inputable = 232; // VT_BOOL
inline constexpr DISPID RuleColor = 238; // VT_I4, colour
inline constexpr DISPID RuleOutSideColor = 239; // VT_I4, colour
inline constexpr DISPID RuleSelectedColor = 240; // VT_I4, colour
inline constexpr DISPID SheetTabBackColor = 241; // VT_I4, colour
inline constexpr DISPID SheetTabActiveColor = 242; // VT_I4, colour
inline constexpr DISPID SheetTabInactiveColor = 243; // VT_I4, colour
inline constexpr DISPID SheetTabActiveTextColor = 244; // VT_I4, colour
inline constexpr DISPID SheetTabInactiveTextColor = 245; // VT_I4, colour
inline constexpr DISPID SheetBorderColor = 246; // VT_I4, colour
inline constexpr DISPID Asynchronous = 247; // VT_BOOL

// Read-only properties and methods; the sub-objects answer VT_DISPATCH.
inline constexpr DISPID ReportDocument = 301;
inline constexpr DISPID ReportData = 302;
inline constexpr DISPID ReportPrinter = 303;
inline constexpr DISPID PageCount = 304; // VT_I4
inline constexpr DISPID PageIndex = 305; // VT_I4, 0-based, also writable
inline constexpr DISPID Version = 306; // VT_BSTR
inline constexpr DISPID Refresh = 310;
inline constexpr DISPID ZoomIn = 311;
inline constexpr DISPID ZoomOut = 312;
} // namespace ReportViewDispId

// DISPIDs of IReportViewEvents. The numbers belong to the event interface only; 208 is no event.
// Arguments are listed in declaration order; DISPPARAMS carries them last-first.
namespace ReportViewEventId {
inline constexpr DISPID OnCanResize = 201; // NewWidth VT_I4|VT_BYREF, NewHeight VT_I4|VT_BYREF, Resize VT_BOOL|VT_BYREF
inline constexpr DISPID OnResize = 202; // none
inline constexpr DISPID OnRefresh = 203; // none
inline constexpr DISPID OnPrompt = 204; // Msg VT_BSTR
inline constexpr DISPID OnHRefClick = 205; // ElementName VT_BSTR, ResultValue VT_VARIANT|VT_BYREF
// ElementName VT_BSTR, ResultValue VT_VARIANT|VT_BYREF, DisplayValue VT_VARIANT|VT_BYREF (in/out)
inline constexpr DISPID OnGetDisplayValue = 206;
inline constexpr DISPID OnCustomFunctionExecute = 207; // CustomFunction VT_DISPATCH holding an ICustomFunction*
// ElementName VT_BSTR, MasterIdx VT_I4, RowIdx VT_I4, OldValue VT_VARIANT|VT_BYREF, NewValue VT_VARIANT|VT_BYREF
inline constexpr DISPID OnInputChanged = 209;
inline constexpr DISPID OnInputEnter = 210; // ElementName VT_BSTR, MasterIdx VT_I4, RowIdx VT_I4
inline constexpr DISPID OnInputExit = 211; // ElementName VT_BSTR, MasterIdx VT_I4, RowIdx VT_I4
inline constexpr DISPID OnDataLoadFinished = 212; // none
inline constexpr DISPID OnDataLoadError = 213; // ErrMsg VT_BSTR
} // namespace ReportViewEventId

// Value sets of the enumerated properties.
enum ReportBevel : int32_t { rbNone = 0, rbLowered = 1, rbRaised = 2 };
enum ReportBorderStyle : int32_t { rbsNone = 0, rbsSingle = 1 };
enum ReportViewMode : int32_t { rvmPage = 0, rvmContinuous = 1 };
enum ReportSheetTabPosition : int32_t { rstBottom = 0, rstTop = 1 };

// LoadXML options: 0 replaces the loaded data.
inline constexpr int32_t ReportLoadReplace = 0;

class IReportDocument;
class IReportData;
class IReportPrinter;

// Default interface of the control. Out-parameters receive counted references and BSTRs that the
// caller frees; BSTR inputs stay the caller's. Failures return a negative HRESULT with error info set.
class IReportView : public IDispatch {
public:
    virtual HRESULT get_BevelInner(int32_t* value) = 0; // 7
    virtual HRESULT put_BevelInner(int32_t value) = 0; // 8
    virtual HRESULT get_BevelOuter(int32_t* value) = 0; // 9
    virtual HRESULT put_BevelOuter(int32_t value) = 0; // 10
    virtual HRESULT get_BorderStyle(int32_t* value) = 0; // 11
    virtual HRESULT put_BorderStyle(int32_t value) = 0; // 12
    virtual HRESULT get_Ctl3D(VARIANT_BOOL* value) = 0; // 13
    virtual HRESULT put_Ctl3D(VARIANT_BOOL value) = 0; // 14
    virtual HRESULT get_Enabled(VARIANT_BOOL* value) = 0; // 15
    virtual HRESULT put_Enabled(VARIANT_BOOL value) = 0; // 16
    virtual HRESULT get_Locked(VARIANT_BOOL* value) = 0; // 17
    virtual HRESULT put_Locked(VARIANT_BOOL value) = 0; // 18
    virtual HRESULT get_Visible(VARIANT_BOOL* value) = 0; // 19
    virtual HRESULT put_Visible(VARIANT_BOOL value) = 0; // 20
    virtual HRESULT get_ViewMode(int32_t* value) = 0; // 21
    virtual HRESULT put_ViewMode(int32_t value) = 0; // 22
    virtual HRESULT get_AllowUnDo(VARIANT_BOOL* value) = 0; // 23
    virtual HRESULT put_AllowUnDo(VARIANT_BOOL value) = 0; // 24
    virtual HRESULT get_ShowSheetTab(VARIANT_BOOL* value) = 0; // 25
    virtual HRESULT put_ShowSheetTab(VARIANT_BOOL value) = 0; // 26
    virtual HRESULT get_ShowNavigator(VARIANT_BOOL* value) = 0; // 27
    virtual HRESULT put_ShowNavigator(VARIANT_BOOL value) = 0; // 28
    virtual HRESULT get_ShowPageBorder(VARIANT_BOOL* value) = 0; // 29
    virtual HRESULT put_ShowPageBorder(VARIANT_BOOL value) = 0; // 30
    virtual HRESULT get_SheetTabPosition(int32_t* value) = 0; // 31
    virtual HRESULT put_SheetTabPosition(int32_t value) = 0; // 32
    virtual HRESULT get_Scale(double* value) = 0; // 33
    virtual HRESULT put_Scale(double value) = 0; // 34, E_INVALIDARG outside 0.1 .. 10
    virtual HRESULT get_CustomPrompt(VARIANT_BOOL* value) = 0; // 35
    virtual HRESULT put_CustomPrompt(VARIANT_BOOL value) = 0; // 36
    virtual HRESULT get_WorkSpaceColor(int32_t* value) = 0; // 37
    virtual HRESULT put_WorkSpaceColor(int32_t value) = 0; // 38
    virtual HRESULT get_ReportDocument(IReportDocument** value) = 0; // 39
    virtual HRESULT get_ReportData(IReportData** value) = 0; // 40
    virtual HRESULT get_ReportPrinter(IReportPrinter** value) = 0; // 41
    virtual HRESULT get_PaperColor(int32_t* value) = 0; // 42
    virtual HRESULT put_PaperColor(int32_t value) = 0; // 43
    virtual HRESULT get_RuleColor(int32_t* value) = 0; // 44
    virtual HRESULT put_RuleColor(int32_t value) = 0; // 45
    virtual HRESULT get_RuleOutSideColor(int32_t* value) = 0; // 46
    virtual HRESULT put_RuleOutSideColor(int32_t value) = 0; // 47
    virtual HRESULT get_RuleSelectedColor(int32_t* value) = 0; // 48
    virtual HRESULT put_RuleSelectedColor(int32_t value) = 0; // 49
    virtual HRESULT get_SheetTabBackColor(int32_t* value) = 0; // 50
    virtual HRESULT put_SheetTabBackColor(int32_t value) = 0; // 51
    virtual HRESULT get_SheetTabActiveColor(int32_t* value) = 0; // 52
    virtual HRESULT put_SheetTabActiveColor(int32_t value) = 0; // 53
    virtual HRESULT get_SheetTabInactiveColor(int32_t* value) = 0; // 54
    virtual HRESULT put_SheetTabInactiveColor(int32_t value) = 0; // 55
    virtual HRESULT get_SheetTabActiveTextColor(int32_t* value) = 0; // 56
    virtual HRESULT put_SheetTabActiveTextColor(int32_t value) = 0; // 57
    virtual HRESULT get_SheetTabInactiveTextColor(int32_t* value) = 0; // 58
    virtual HRESULT put_SheetTabInactiveTextColor(int32_t value) = 0; // 59
    virtual HRESULT get_SheetBorderColor(int32_t* value) = 0; // 60
    virtual HRESULT put_SheetBorderColor(int32_t value) = 0; // 61
    virtual HRESULT get_NavBackColor(int32_t* value) = 0; // 62
    virtual HRESULT put_NavBackColor(int32_t value) = 0; // 63
    virtual HRESULT get_ShowContextMenu(VARIANT_BOOL* value) = 0; // 64
    virtual HRESULT put_ShowContextMenu(VARIANT_BOOL value) = 0; // 65
    virtual HRESULT get_Inputable(VARIANT_BOOL* value) = 0; // 66
    virtual HRESULT put_Inputable(VARIANT_BOOL value) = 0; // 67
    virtual HRESULT get_Asynchronous(VARIANT_BOOL* value) = 0; // 68
    virtual HRESULT put_Asynchronous(VARIANT_BOOL value) = 0; // 69
    virtual HRESULT get_DocSrc(BSTR* value) = 0; // 70
    virtual HRESULT put_DocSrc(BSTR value) = 0; // 71, null is the empty string
    virtual HRESULT get_DataSrc(BSTR* value) = 0; // 72
    virtual HRESULT put_DataSrc(BSTR value) = 0; // 73, null is the empty string
    virtual HRESULT get_CacheEnabled(VARIANT_BOOL* value) = 0; // 74
    virtual HRESULT put_CacheEnabled(VARIANT_BOOL value) = 0; // 75
    virtual HRESULT Refresh() = 0; // 76, lays the pages out again and repaints
    virtual HRESULT ZoomIn() = 0; // 77
    virtual HRESULT ZoomOut() = 0; // 78
    virtual HRESULT get_PageCount(int32_t* value) = 0; // 79, pages of the current sheet
    virtual HRESULT get_PageIndex(int32_t* value) = 0; // 80, 0-based page in view
    virtual HRESULT put_PageIndex(int32_t value) = 0; // 81, E_INVALIDARG outside 0 .. PageCount-1
    virtual HRESULT get_Version(BSTR* value) = 0; // 82

protected:
    ~IReportView() = default;
};

// The template document: one file with one or more sheets.
class IReportDocument : public IDispatch {
public:
    virtual HRESULT OpenFile(BSTR path) = 0; // 7, replaces the open template; on failure the old one stays
    virtual HRESULT Close() = 0; // 8, back to the default layout of the loaded data
    virtual HRESULT get_FileName(BSTR* value) = 0; // 9, empty when none is open
    virtual HRESULT get_SheetCount(int32_t* value) = 0; // 10
    virtual HRESULT get_SheetName(int32_t index, BSTR* value) = 0; // 11, E_INVALIDARG for a bad index
    virtual HRESULT get_ActiveSheet(BSTR* value) = 0; // 12, the sheet in view
    virtual HRESULT put_ActiveSheet(BSTR value) = 0; // 13, fails naming an unknown sheet
    virtual HRESULT get_ParameterCount(int32_t* value) = 0; // 14, parameters the template declares
    virtual HRESULT get_ParameterName(int32_t index, BSTR* value) = 0; // 15, E_INVALIDARG for a bad index
    // 16: the current value as text (numbers in the C notation, dates yyyy-MM-dd, empty when it has none);
    // E_INVALIDARG for a name the template does not declare. Names compare without letter case.
    virtual HRESULT get_Parameter(BSTR name, BSTR* value) = 0;
    // 17: sets the value from text of the parameter's type and lays the report out again; E_INVALIDARG,
    // naming parameter and value, for an unknown name or text of the wrong type.
    virtual HRESULT put_Parameter(BSTR name, BSTR value) = 0;

protected:
    ~IReportDocument() = default;
};

// The loaded data. An empty detailId names the master rows; masterIdx -1 means all rows of a detail.
class IReportData : public IDispatch {
public:
    virtual HRESULT Clear() = 0; // 7
    virtual HRESULT get_XML(BSTR* value) = 0; // 8, the last document loaded successfully
    virtual HRESULT get_DetailCount(int32_t* value) = 0; // 9, detail blocks of the document
    virtual HRESULT LoadXML(BSTR text, int32_t options) = 0; // 10, raises OnDataLoadFinished or OnDataLoadError
    virtual HRESULT get_DetailID(int32_t index, BSTR* value) = 0; // 11
    virtual HRESULT get_RowCount(BSTR detailId, int32_t masterIdx, int32_t* value) = 0; // 12
    // 13: the field's text in row rowIdx of that group; E_INVALIDARG for a bad position or field.
    virtual HRESULT get_Value(BSTR detailId, int32_t masterIdx, int32_t rowIdx, BSTR field, BSTR* value) = 0;

protected:
    ~IReportData() = default;
};

// Output of the current template and data. Dialogs are modal; a cancelled dialog returns S_FALSE.
class IReportPrinter : public IDispatch {
public:
    virtual HRESULT PrinterSetup() = 0; // 7
    virtual HRESULT get_PrinterName(BSTR* value) = 0; // 8, empty for the default printer
    virtual HRESULT Preview(BSTR sheetName) = 0; // 9, null or empty: the sheet in view
    virtual HRESULT put_PrinterName(BSTR value) = 0; // 10
    virtual HRESULT Print() = 0; // 11, the sheet in view
    virtual HRESULT ExportPDF(BSTR sheetName, BSTR fileName) = 0; // 12, no dialog
    virtual HRESULT PrintSheet(BSTR sheetName, VARIANT_BOOL showDialog) = 0; // 13
    // 14, the sheet in view, no dialog. `format`: pdf, xlsx, csv, html, svg, png or txt (any letter
    // case); svg and png write page-001.svg ... into the folder `path`, the others one file. An unknown
    // format is E_INVALIDARG; the file is written whole or not at all (docs/export.md).
    virtual HRESULT Export(BSTR format, BSTR path) = 0;

protected:
    ~IReportPrinter() = default;
};

// Handed to OnCustomFunctionExecute: a template function the control does not know. The handler reads
// the arguments and puts the result; valid only during the event call.
class ICustomFunction : public IDispatch {
public:
    virtual HRESULT get_Name(BSTR* value) = 0; // 7
    virtual HRESULT get_ArgCount(int32_t* value) = 0; // 8
    virtual HRESULT get_Arg(int32_t index, VARIANT* value) = 0; // 9, E_INVALIDARG for a bad index
    virtual HRESULT get_ArgText(int32_t index, BSTR* value) = 0; // 10
    virtual HRESULT get_Result(VARIANT* value) = 0; // 11
    virtual HRESULT put_Result(const VARIANT* value) = 0; // 12, copied; null is E_POINTER
    virtual HRESULT get_Handled(VARIANT_BOOL* value) = 0; // 13, true once a result was put
    virtual HRESULT put_Handled(VARIANT_BOOL value) = 0; // 14

protected:
    ~ICustomFunction() = default;
};
