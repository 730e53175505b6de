#include "VellandorFree_TLB.h"

#include "BStr.h"
#include "Exceptions.h"

namespace
{
constexpr DISPID eventDispIds[12] = {
    ReportViewEventId::OnCanResize,
    ReportViewEventId::OnResize,
    ReportViewEventId::OnRefresh,
    ReportViewEventId::OnPrompt,
    ReportViewEventId::OnHRefClick,
    ReportViewEventId::OnGetDisplayValue,
    ReportViewEventId::OnCustomFunctionExecute,
    ReportViewEventId::OnInputChanged,
    ReportViewEventId::OnInputEnter,
    ReportViewEventId::OnInputExit,
    ReportViewEventId::OnDataLoadFinished,
    ReportViewEventId::OnDataLoadError,
};

// One of the view's sub-objects, through its getter; a failure raises the control's error.
template <class Interface> vl::ComPtr<Interface> subObject(IReportView& view, HRESULT (IReportView::*get)(Interface**))
{
    vl::ComPtr<Interface> result;
    vl::oleCheck((view.*get)(&result));
    return result;
}
} // namespace

TControlDescription& TReportView::Description()
{
    static TControlDescription description {
        CLSID_ReportView,
        DIID_IReportViewEvents,
        12,
        eventDispIds,
        cfEnabled,
        401,
        0,
        nullptr,
        0,
        nullptr,
        0,
        0,
        {},
        0,
    };
    return description;
}

TReportView::TReportView(TComponent* owner)
    : TOleControl(owner)
{
    CreateControlObject();
}

TReportView::~TReportView()
{
    // Released by the base after the control is closed and the window part is gone.
    ReleaseLast(vl::ComPtr<IUnknown>::adopt(m_viewInterface.detach()));
}

void TReportView::DescribeControl()
{
    ControlData = &Description();
    ControlData->FirstEventSlot
        = reinterpret_cast<char*>(m_eventSlots.data()) - reinterpret_cast<char*>(static_cast<TOleControl*>(this));
}

vl::ComPtr<IReportView> TReportView::ViewInterface()
{
    if (!m_viewInterface) {
        IOleObject* control = OleObject();
        vl::ComPtr<IDispatch> dispatch;
        if (!control || FAILED(control->QueryInterface(IID_IDispatch, dispatch.voidOut())) || !dispatch)
            throw EIntfCastError("Interface not supported");
        vl::ComPtr<IReportView> view;
        if (FAILED(dispatch.query(IID_IReportView, view)) || !view)
            throw EIntfCastError("Interface not supported");
        m_viewInterface = std::move(view);
    }
    return m_viewInterface;
}

vl::ComPtr<IReportDocument> TReportView::ReportDocument()
{
    return subObject(*ViewInterface(), &IReportView::get_ReportDocument);
}

vl::ComPtr<IReportData> TReportView::ReportData()
{
    return subObject(*ViewInterface(), &IReportView::get_ReportData);
}

vl::ComPtr<IReportPrinter> TReportView::ReportPrinter()
{
    return subObject(*ViewInterface(), &IReportView::get_ReportPrinter);
}

int32_t TReportView::ParameterCount()
{
    int32_t count = 0;
    vl::oleCheck(ReportDocument()->get_ParameterCount(&count));
    return count;
}

std::u16string TReportView::ParameterName(int32_t Index)
{
    vl::BStr name;
    vl::oleCheck(ReportDocument()->get_ParameterName(Index, &name));
    return name.str();
}

std::u16string TReportView::Parameter(std::u16string_view Name)
{
    const vl::BStr name(Name);
    vl::BStr value;
    vl::oleCheck(ReportDocument()->get_Parameter(name.get(), &value));
    return value.str();
}

void TReportView::SetParameter(std::u16string_view Name, std::u16string_view Value)
{
    const vl::BStr name(Name), value(Value);
    vl::oleCheck(ReportDocument()->put_Parameter(name.get(), value.get()));
}

void TReportView::Export(std::u16string_view Format, std::u16string_view Path)
{
    const vl::BStr format(Format), path(Path);
    vl::oleCheck(ReportPrinter()->Export(format.get(), path.get()));
}
