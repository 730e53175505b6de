#pragma once
// The binding of the report viewer control: TReportView hosts it (created by class id from its
// plug-in), publishes its properties and events, and hands out its default interface and the
// three sub-objects that the window's commands call. Check each call's result with vl::oleCheck:
//
//     vl::ComPtr<IReportDocument> d = ReportView1->ReportDocument();
//     vl::oleCheck(d->OpenFile(path));

#include "OleCheck.h"
#include "OleControl.h"
#include "ReportViewIntf.h"

#include <array>
#include <string>
#include <string_view>

// Event handlers: the sender (the wrapper) first, then the event's arguments in declaration
// order. BSTR parameters are read-only and valid during the call only; references reach the
// control's own variables.
using TReportViewOnCanResize
    = std::function<void(TObject* ASender, int32_t& NewWidth, int32_t& NewHeight, VARIANT_BOOL& Resize)>;
using TReportViewOnPrompt = std::function<void(TObject* ASender, BSTR Msg)>;
using TReportViewOnHRefClick = std::function<void(TObject* ASender, BSTR ElementName, vl::Variant ResultValue)>;
using TReportViewOnGetDisplayValue
    = std::function<void(TObject* ASender, BSTR ElementName, vl::Variant ResultValue, VARIANT& DisplayValue)>;
using TReportViewOnCustomFunctionExecute = std::function<void(TObject* ASender, ICustomFunction* CustomFunction)>;
using TReportViewOnInputChanged = std::function<void(
    TObject* ASender, BSTR ElementName, int32_t MasterIdx, int32_t RowIdx, vl::Variant OldValue, vl::Variant NewValue)>;
using TReportViewOnInputEnter
    = std::function<void(TObject* ASender, BSTR ElementName, int32_t MasterIdx, int32_t RowIdx)>;
using TReportViewOnInputExit
    = std::function<void(TObject* ASender, BSTR ElementName, int32_t MasterIdx, int32_t RowIdx)>;
using TReportViewOnDataLoadError = std::function<void(TObject* ASender, BSTR ErrMsg)>;

class TReportView : public TOleControl
{
public:
    // Creates the control object; raises EOleSysError (and leaves no wrapper behind) when the
    // control cannot be created, asked for its status, sited or sized.
    explicit TReportView(TComponent* owner);
    ~TReportView() override;

    // A new counted reference to the control's default interface. The first call fills the
    // wrapper's cache; EIntfCastError "Interface not supported" when the control lacks it (the
    // cache then stays empty and the next call tries again).
    vl::ComPtr<IReportView> ViewInterface();
    // Each read asks the control anew; a counted reference, or EOleException from vl::oleCheck.
    vl::ComPtr<IReportDocument> ReportDocument();
    vl::ComPtr<IReportData> ReportData();
    vl::ComPtr<IReportPrinter> ReportPrinter();

    // The open template's parameters, through ReportDocument; a failure raises EOleException with the
    // control's message (an unknown name, a bad index, a value of the wrong type). Names compare
    // without letter case; values are texts as the template format writes them.
    int32_t ParameterCount();
    std::u16string ParameterName(int32_t Index);
    std::u16string Parameter(std::u16string_view Name);
    // Lays the report out again with the new value.
    void SetParameter(std::u16string_view Name, std::u16string_view Value);
    // Writes the sheet in view through ReportPrinter's Export: Format pdf, xlsx, csv, html, svg, png
    // or txt, Path a file (a folder for svg and png). EOleException with the control's message.
    void Export(std::u16string_view Format, std::u16string_view Path);

    // The control's published properties. Enabled and Visible here are the control's own
    // (DISPID -514 and 206); the wrapper's window state is TControl::Enabled/Visible.
    TOleEnum BevelInner() { return GetIntegerProp(ReportViewDispId::BevelInner); }
    void SetBevelInner(TOleEnum v) { SetIntegerProp(ReportViewDispId::BevelInner, v); }
    TOleEnum BevelOuter() { return GetIntegerProp(ReportViewDispId::BevelOuter); }
    void SetBevelOuter(TOleEnum v) { SetIntegerProp(ReportViewDispId::BevelOuter, v); }
    TOleEnum BorderStyle() { return GetIntegerProp(ReportViewDispId::BorderStyle); }
    void SetBorderStyle(TOleEnum v) { SetIntegerProp(ReportViewDispId::BorderStyle, v); }
    bool Ctl3D() { return GetWordBoolProp(ReportViewDispId::Ctl3D); }
    void SetCtl3D(bool v) { SetWordBoolProp(ReportViewDispId::Ctl3D, v); }
    bool Enabled() { return GetWordBoolProp(ReportViewDispId::Enabled); }
    void SetEnabled(bool v) { SetWordBoolProp(ReportViewDispId::Enabled, v); }
    bool Locked() { return GetWordBoolProp(ReportViewDispId::Locked); }
    void SetLocked(bool v) { SetWordBoolProp(ReportViewDispId::Locked, v); }
    bool Visible() { return GetWordBoolProp(ReportViewDispId::Visible); }
    void SetVisible(bool v) { SetWordBoolProp(ReportViewDispId::Visible, v); }
    TOleEnum ViewMode() { return GetIntegerProp(ReportViewDispId::ViewMode); }
    void SetViewMode(TOleEnum v) { SetIntegerProp(ReportViewDispId::ViewMode, v); }
    bool AllowUnDo() { return GetWordBoolProp(ReportViewDispId::AllowUnDo); }
    void SetAllowUnDo(bool v) { SetWordBoolProp(ReportViewDispId::AllowUnDo, v); }
    bool ShowSheetTab() { return GetWordBoolProp(ReportViewDispId::ShowSheetTab); }
    void SetShowSheetTab(bool v) { SetWordBoolProp(ReportViewDispId::ShowSheetTab, v); }
    bool ShowNavigator() { return GetWordBoolProp(ReportViewDispId::ShowNavigator); }
    void SetShowNavigator(bool v) { SetWordBoolProp(ReportViewDispId::ShowNavigator, v); }
    bool ShowPageBorder() { return GetWordBoolProp(ReportViewDispId::ShowPageBorder); }
    void SetShowPageBorder(bool v) { SetWordBoolProp(ReportViewDispId::ShowPageBorder, v); }
    TOleEnum SheetTabPosition() { return GetIntegerProp(ReportViewDispId::SheetTabPosition); }
    void SetSheetTabPosition(TOleEnum v) { SetIntegerProp(ReportViewDispId::SheetTabPosition, v); }
    double Scale() { return GetDoubleProp(ReportViewDispId::Scale); }
    void SetScale(double v) { SetDoubleProp(ReportViewDispId::Scale, v); }
    bool CustomPrompt() { return GetWordBoolProp(ReportViewDispId::CustomPrompt); }
    void SetCustomPrompt(bool v) { SetWordBoolProp(ReportViewDispId::CustomPrompt, v); }
    TColor WorkSpaceColor() { return GetIntegerProp(ReportViewDispId::WorkSpaceColor); }
    void SetWorkSpaceColor(TColor v) { SetIntegerProp(ReportViewDispId::WorkSpaceColor, v); }
    TColor PaperColor() { return GetIntegerProp(ReportViewDispId::PaperColor); }
    void SetPaperColor(TColor v) { SetIntegerProp(ReportViewDispId::PaperColor, v); }
    TColor RuleColor() { return GetIntegerProp(ReportViewDispId::RuleColor); }
    void SetRuleColor(TColor v) { SetIntegerProp(ReportViewDispId::RuleColor, v); }
    TColor RuleOutSideColor() { return GetIntegerProp(ReportViewDispId::RuleOutSideColor); }
    void SetRuleOutSideColor(TColor v) { SetIntegerProp(ReportViewDispId::RuleOutSideColor, v); }
    TColor RuleSelectedColor() { return GetIntegerProp(ReportViewDispId::RuleSelectedColor); }
    void SetRuleSelectedColor(TColor v) { SetIntegerProp(ReportViewDispId::RuleSelectedColor, v); }
    TColor SheetTabBackColor() { return GetIntegerProp(ReportViewDispId::SheetTabBackColor); }
    void SetSheetTabBackColor(TColor v) { SetIntegerProp(ReportViewDispId::SheetTabBackColor, v); }
    TColor SheetTabActiveColor() { return GetIntegerProp(ReportViewDispId::SheetTabActiveColor); }
    void SetSheetTabActiveColor(TColor v) { SetIntegerProp(ReportViewDispId::SheetTabActiveColor, v); }
    TColor SheetTabInactiveColor() { return GetIntegerProp(ReportViewDispId::SheetTabInactiveColor); }
    void SetSheetTabInactiveColor(TColor v) { SetIntegerProp(ReportViewDispId::SheetTabInactiveColor, v); }
    TColor SheetTabActiveTextColor() { return GetIntegerProp(ReportViewDispId::SheetTabActiveTextColor); }
    void SetSheetTabActiveTextColor(TColor v) { SetIntegerProp(ReportViewDispId::SheetTabActiveTextColor, v); }
    TColor SheetTabInactiveTextColor() { return GetIntegerProp(ReportViewDispId::SheetTabInactiveTextColor); }
    void SetSheetTabInactiveTextColor(TColor v) { SetIntegerProp(ReportViewDispId::SheetTabInactiveTextColor, v); }
    TColor SheetBorderColor() { return GetIntegerProp(ReportViewDispId::SheetBorderColor); }
    void SetSheetBorderColor(TColor v) { SetIntegerProp(ReportViewDispId::SheetBorderColor, v); }
    TColor NavBackColor() { return GetIntegerProp(ReportViewDispId::NavBackColor); }
    void SetNavBackColor(TColor v) { SetIntegerProp(ReportViewDispId::NavBackColor, v); }
    bool ShowContextMenu() { return GetWordBoolProp(ReportViewDispId::ShowContextMenu); }
    void SetShowContextMenu(bool v) { SetWordBoolProp(ReportViewDispId::ShowContextMenu, v); }
    bool Inputable() { return GetWordBoolProp(ReportViewDispId::Inputable); }
    void SetInputable(bool v) { SetWordBoolProp(ReportViewDispId::Inputable, v); }
    bool Asynchronous() { return GetWordBoolProp(ReportViewDispId::Asynchronous); }
    void SetAsynchronous(bool v) { SetWordBoolProp(ReportViewDispId::Asynchronous, v); }
    std::u16string DocSrc() { return GetWideStringProp(ReportViewDispId::DocSrc); }
    void SetDocSrc(std::u16string_view v) { SetWideStringProp(ReportViewDispId::DocSrc, v); }
    std::u16string DataSrc() { return GetWideStringProp(ReportViewDispId::DataSrc); }
    void SetDataSrc(std::u16string_view v) { SetWideStringProp(ReportViewDispId::DataSrc, v); }
    bool CacheEnabled() { return GetWordBoolProp(ReportViewDispId::CacheEnabled); }
    void SetCacheEnabled(bool v) { SetWordBoolProp(ReportViewDispId::CacheEnabled, v); }

private:
    // In the order of the event DISPID table; the base finds slot i through the description.
    std::array<vl::EventSlot, 12> m_eventSlots;

public:
    vl::EventProperty<TReportViewOnCanResize> OnCanResize { m_eventSlots[0] };
    vl::EventProperty<TNotifyEvent> OnResize { m_eventSlots[1] };
    vl::EventProperty<TNotifyEvent> OnRefresh { m_eventSlots[2] };
    vl::EventProperty<TReportViewOnPrompt> OnPrompt { m_eventSlots[3] };
    vl::EventProperty<TReportViewOnHRefClick> OnHRefClick { m_eventSlots[4] };
    vl::EventProperty<TReportViewOnGetDisplayValue> OnGetDisplayValue { m_eventSlots[5] };
    vl::EventProperty<TReportViewOnCustomFunctionExecute> OnCustomFunctionExecute { m_eventSlots[6] };
    vl::EventProperty<TReportViewOnInputChanged> OnInputChanged { m_eventSlots[7] };
    vl::EventProperty<TReportViewOnInputEnter> OnInputEnter { m_eventSlots[8] };
    vl::EventProperty<TReportViewOnInputExit> OnInputExit { m_eventSlots[9] };
    vl::EventProperty<TNotifyEvent> OnDataLoadFinished { m_eventSlots[10] };
    vl::EventProperty<TReportViewOnDataLoadError> OnDataLoadError { m_eventSlots[11] };

    // The class's description record (shared by all instances).
    static TControlDescription& Description();

protected:
    void DescribeControl() override;

private:
    vl::ComPtr<IReportView> m_viewInterface;
};
