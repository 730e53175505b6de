#pragma once
// Stubs of the viewer's interfaces for fakes: every operation records itself as unexpected and fails.
// Made from the interface header's declarations; fakes override what a test expects.

#include "ReportViewIntf.h"

namespace fake
{
// Called by every stub; the test fails on it.
HRESULT unexpected(const char* name);

class StubReportView : public IReportView
{
public:
    HRESULT get_BevelInner(int32_t*) override { return unexpected("IReportView::get_BevelInner"); }
    HRESULT put_BevelInner(int32_t) override { return unexpected("IReportView::put_BevelInner"); }
    HRESULT get_BevelOuter(int32_t*) override { return unexpected("IReportView::get_BevelOuter"); }
    HRESULT put_BevelOuter(int32_t) override { return unexpected("IReportView::put_BevelOuter"); }
    HRESULT get_BorderStyle(int32_t*) override { return unexpected("IReportView::get_BorderStyle"); }
    HRESULT put_BorderStyle(int32_t) override { return unexpected("IReportView::put_BorderStyle"); }
    HRESULT get_Ctl3D(VARIANT_BOOL*) override { return unexpected("IReportView::get_Ctl3D"); }
    HRESULT put_Ctl3D(VARIANT_BOOL) override { return unexpected("IReportView::put_Ctl3D"); }
    HRESULT get_Enabled(VARIANT_BOOL*) override { return unexpected("IReportView::get_Enabled"); }
    HRESULT put_Enabled(VARIANT_BOOL) override { return unexpected("IReportView::put_Enabled"); }
    HRESULT get_Locked(VARIANT_BOOL*) override { return unexpected("IReportView::get_Locked"); }
    HRESULT put_Locked(VARIANT_BOOL) override { return unexpected("IReportView::put_Locked"); }
    HRESULT get_Visible(VARIANT_BOOL*) override { return unexpected("IReportView::get_Visible"); }
    HRESULT put_Visible(VARIANT_BOOL) override { return unexpected("IReportView::put_Visible"); }
    HRESULT get_ViewMode(int32_t*) override { return unexpected("IReportView::get_ViewMode"); }
    HRESULT put_ViewMode(int32_t) override { return unexpected("IReportView::put_ViewMode"); }
    HRESULT get_AllowUnDo(VARIANT_BOOL*) override { return unexpected("IReportView::get_AllowUnDo"); }
    HRESULT put_AllowUnDo(VARIANT_BOOL) override { return unexpected("IReportView::put_AllowUnDo"); }
    HRESULT get_ShowSheetTab(VARIANT_BOOL*) override { return unexpected("IReportView::get_ShowSheetTab"); }
    HRESULT put_ShowSheetTab(VARIANT_BOOL) override { return unexpected("IReportView::put_ShowSheetTab"); }
    HRESULT get_ShowNavigator(VARIANT_BOOL*) override { return unexpected("IReportView::get_ShowNavigator"); }
    HRESULT put_ShowNavigator(VARIANT_BOOL) override { return unexpected("IReportView::put_ShowNavigator"); }
    HRESULT get_ShowPageBorder(VARIANT_BOOL*) override { return unexpected("IReportView::get_ShowPageBorder"); }
    HRESULT put_ShowPageBorder(VARIANT_BOOL) override { return unexpected("IReportView::put_ShowPageBorder"); }
    HRESULT get_SheetTabPosition(int32_t*) override { return unexpected("IReportView::get_SheetTabPosition"); }
    HRESULT put_SheetTabPosition(int32_t) override { return unexpected("IReportView::put_SheetTabPosition"); }
    HRESULT get_Scale(double*) override { return unexpected("IReportView::get_Scale"); }
    HRESULT put_Scale(double) override { return unexpected("IReportView::put_Scale"); }
    HRESULT get_CustomPrompt(VARIANT_BOOL*) override { return unexpected("IReportView::get_CustomPrompt"); }
    HRESULT put_CustomPrompt(VARIANT_BOOL) override { return unexpected("IReportView::put_CustomPrompt"); }
    HRESULT get_WorkSpaceColor(int32_t*) override { return unexpected("IReportView::get_WorkSpaceColor"); }
    HRESULT put_WorkSpaceColor(int32_t) override { return unexpected("IReportView::put_WorkSpaceColor"); }
    HRESULT get_ReportDocument(IReportDocument**) override { return unexpected("IReportView::get_ReportDocument"); }
    HRESULT get_ReportData(IReportData**) override { return unexpected("IReportView::get_ReportData"); }
    HRESULT get_ReportPrinter(IReportPrinter**) override { return unexpected("IReportView::get_ReportPrinter"); }
    HRESULT get_PaperColor(int32_t*) override { return unexpected("IReportView::get_PaperColor"); }
    HRESULT put_PaperColor(int32_t) override { return unexpected("IReportView::put_PaperColor"); }
    HRESULT get_RuleColor(int32_t*) override { return unexpected("IReportView::get_RuleColor"); }
    HRESULT put_RuleColor(int32_t) override { return unexpected("IReportView::put_RuleColor"); }
    HRESULT get_RuleOutSideColor(int32_t*) override { return unexpected("IReportView::get_RuleOutSideColor"); }
    HRESULT put_RuleOutSideColor(int32_t) override { return unexpected("IReportView::put_RuleOutSideColor"); }
    HRESULT get_RuleSelectedColor(int32_t*) override { return unexpected("IReportView::get_RuleSelectedColor"); }
    HRESULT put_RuleSelectedColor(int32_t) override { return unexpected("IReportView::put_RuleSelectedColor"); }
    HRESULT get_SheetTabBackColor(int32_t*) override { return unexpected("IReportView::get_SheetTabBackColor"); }
    HRESULT put_SheetTabBackColor(int32_t) override { return unexpected("IReportView::put_SheetTabBackColor"); }
    HRESULT get_SheetTabActiveColor(int32_t*) override { return unexpected("IReportView::get_SheetTabActiveColor"); }
    HRESULT put_SheetTabActiveColor(int32_t) override { return unexpected("IReportView::put_SheetTabActiveColor"); }
    HRESULT get_SheetTabInactiveColor(int32_t*) override
    {
        return unexpected("IReportView::get_SheetTabInactiveColor");
    }
    HRESULT put_SheetTabInactiveColor(int32_t) override { return unexpected("IReportView::put_SheetTabInactiveColor"); }
    HRESULT get_SheetTabActiveTextColor(int32_t*) override
    {
        return unexpected("IReportView::get_SheetTabActiveTextColor");
    }
    HRESULT put_SheetTabActiveTextColor(int32_t) override
    {
        return unexpected("IReportView::put_SheetTabActiveTextColor");
    }
    HRESULT get_SheetTabInactiveTextColor(int32_t*) override
    {
        return unexpected("IReportView::get_SheetTabInactiveTextColor");
    }
    HRESULT put_SheetTabInactiveTextColor(int32_t) override
    {
        return unexpected("IReportView::put_SheetTabInactiveTextColor");
    }
    HRESULT get_SheetBorderColor(int32_t*) override { return unexpected("IReportView::get_SheetBorderColor"); }
    HRESULT put_SheetBorderColor(int32_t) override { return unexpected("IReportView::put_SheetBorderColor"); }
    HRESULT get_NavBackColor(int32_t*) override { return unexpected("IReportView::get_NavBackColor"); }
    HRESULT put_NavBackColor(int32_t) override { return unexpected("IReportView::put_NavBackColor"); }
    HRESULT get_ShowContextMenu(VARIANT_BOOL*) override { return unexpected("IReportView::get_ShowContextMenu"); }
    HRESULT put_ShowContextMenu(VARIANT_BOOL) override { return unexpected("IReportView::put_ShowContextMenu"); }
    HRESULT get_Inputable(VARIANT_BOOL*) override { return unexpected("IReportView::get_Inputable"); }
    HRESULT put_Inputable(VARIANT_BOOL) override { return unexpected("IReportView::put_Inputable"); }
    HRESULT get_Asynchronous(VARIANT_BOOL*) override { return unexpected("IReportView::get_Asynchronous"); }
    HRESULT put_Asynchronous(VARIANT_BOOL) override { return unexpected("IReportView::put_Asynchronous"); }
    HRESULT get_DocSrc(BSTR*) override { return unexpected("IReportView::get_DocSrc"); }
    HRESULT put_DocSrc(BSTR) override { return unexpected("IReportView::put_DocSrc"); }
    HRESULT get_DataSrc(BSTR*) override { return unexpected("IReportView::get_DataSrc"); }
    HRESULT put_DataSrc(BSTR) override { return unexpected("IReportView::put_DataSrc"); }
    HRESULT get_CacheEnabled(VARIANT_BOOL*) override { return unexpected("IReportView::get_CacheEnabled"); }
    HRESULT put_CacheEnabled(VARIANT_BOOL) override { return unexpected("IReportView::put_CacheEnabled"); }
    HRESULT Refresh() override { return unexpected("IReportView::Refresh"); }
    HRESULT ZoomIn() override { return unexpected("IReportView::ZoomIn"); }
    HRESULT ZoomOut() override { return unexpected("IReportView::ZoomOut"); }
    HRESULT get_PageCount(int32_t*) override { return unexpected("IReportView::get_PageCount"); }
    HRESULT get_PageIndex(int32_t*) override { return unexpected("IReportView::get_PageIndex"); }
    HRESULT put_PageIndex(int32_t) override { return unexpected("IReportView::put_PageIndex"); }
    HRESULT get_Version(BSTR*) override { return unexpected("IReportView::get_Version"); }
};

class StubReportDocument : public IReportDocument
{
public:
    HRESULT OpenFile(BSTR) override { return unexpected("IReportDocument::OpenFile"); }
    HRESULT Close() override { return unexpected("IReportDocument::Close"); }
    HRESULT get_FileName(BSTR*) override { return unexpected("IReportDocument::get_FileName"); }
    HRESULT get_SheetCount(int32_t*) override { return unexpected("IReportDocument::get_SheetCount"); }
    HRESULT get_SheetName(int32_t, BSTR*) override { return unexpected("IReportDocument::get_SheetName"); }
    HRESULT get_ActiveSheet(BSTR*) override { return unexpected("IReportDocument::get_ActiveSheet"); }
    HRESULT put_ActiveSheet(BSTR) override { return unexpected("IReportDocument::put_ActiveSheet"); }
    HRESULT get_ParameterCount(int32_t*) override { return unexpected("IReportDocument::get_ParameterCount"); }
    HRESULT get_ParameterName(int32_t, BSTR*) override { return unexpected("IReportDocument::get_ParameterName"); }
    HRESULT get_Parameter(BSTR, BSTR*) override { return unexpected("IReportDocument::get_Parameter"); }
    HRESULT put_Parameter(BSTR, BSTR) override { return unexpected("IReportDocument::put_Parameter"); }
};

class StubReportData : public IReportData
{
public:
    HRESULT Clear() override { return unexpected("IReportData::Clear"); }
    HRESULT get_XML(BSTR*) override { return unexpected("IReportData::get_XML"); }
    HRESULT get_DetailCount(int32_t*) override { return unexpected("IReportData::get_DetailCount"); }
    HRESULT LoadXML(BSTR, int32_t) override { return unexpected("IReportData::LoadXML"); }
    HRESULT get_DetailID(int32_t, BSTR*) override { return unexpected("IReportData::get_DetailID"); }
    HRESULT get_RowCount(BSTR, int32_t, int32_t*) override { return unexpected("IReportData::get_RowCount"); }
    HRESULT get_Value(BSTR, int32_t, int32_t, BSTR, BSTR*) override { return unexpected("IReportData::get_Value"); }
};

class StubReportPrinter : public IReportPrinter
{
public:
    HRESULT PrinterSetup() override { return unexpected("IReportPrinter::PrinterSetup"); }
    HRESULT get_PrinterName(BSTR*) override { return unexpected("IReportPrinter::get_PrinterName"); }
    HRESULT Preview(BSTR) override { return unexpected("IReportPrinter::Preview"); }
    HRESULT put_PrinterName(BSTR) override { return unexpected("IReportPrinter::put_PrinterName"); }
    HRESULT Print() override { return unexpected("IReportPrinter::Print"); }
    HRESULT ExportPDF(BSTR, BSTR) override { return unexpected("IReportPrinter::ExportPDF"); }
    HRESULT PrintSheet(BSTR, VARIANT_BOOL) override { return unexpected("IReportPrinter::PrintSheet"); }
    HRESULT Export(BSTR, BSTR) override { return unexpected("IReportPrinter::Export"); }
};

class StubCustomFunction : public ICustomFunction
{
public:
    HRESULT get_Name(BSTR*) override { return unexpected("ICustomFunction::get_Name"); }
    HRESULT get_ArgCount(int32_t*) override { return unexpected("ICustomFunction::get_ArgCount"); }
    HRESULT get_Arg(int32_t, VARIANT*) override { return unexpected("ICustomFunction::get_Arg"); }
    HRESULT get_ArgText(int32_t, BSTR*) override { return unexpected("ICustomFunction::get_ArgText"); }
    HRESULT get_Result(VARIANT*) override { return unexpected("ICustomFunction::get_Result"); }
    HRESULT put_Result(const VARIANT*) override { return unexpected("ICustomFunction::put_Result"); }
    HRESULT get_Handled(VARIANT_BOOL*) override { return unexpected("ICustomFunction::get_Handled"); }
    HRESULT put_Handled(VARIANT_BOOL) override { return unexpected("ICustomFunction::put_Handled"); }
};

} // namespace fake
