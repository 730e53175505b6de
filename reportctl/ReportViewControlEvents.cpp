// The control's side of its session: the session's news as connection-point events, and a failed
// session operation as an HRESULT with error info.

#include "ReportViewControl.h"

#include "ReportSubObjects_p.h"
#include "ReportText_p.h"

#include "ErrorInfo.h"

namespace vl {

// Connection points

HRESULT ReportViewControl::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    return m_points.EnumConnectionPoints(points);
}

HRESULT ReportViewControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    return m_points.FindConnectionPoint(iid, point);
}

void ReportViewControl::fireEvent(DISPID dispId, std::vector<Variant> argsLastFirst)
{
    if (m_freezeEvents > 0 || m_events->connectionCount() == 0)
        return;
    DISPPARAMS params {argsLastFirst.empty() ? nullptr : argsLastFirst.front().ptr(), nullptr,
                       static_cast<UINT>(argsLastFirst.size()), 0};
    // A sink's failure is its own business; the operation that raised the event stands.
    (void)m_events->invokeAll(dispId, &params);
}

void ReportViewControl::notifyChanged(DISPID dispId)
{
    for (const ComPtr<IPropertyNotifySink>& sink : m_propertyNotify->sinksAs<IPropertyNotifySink>())
        sink->OnChanged(dispId);
}

namespace {

Variant byReference(Variant& target)
{
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_VARIANT | VT_BYREF;
    reference.pvarVal = target.ptr();
    return Variant::adopt(reference);
}

QString variantText(const VARIANT& value)
{
    std::u16string text;
    if (FAILED(Variant(value).toString(text)))
        return {};
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

HRESULT ReportViewControl::failure(const SessionResult& result)
{
    switch (result.code) {
    case SessionResult::Ok:
        return S_OK;
    case SessionResult::NoSuchSheet:
    case SessionResult::Refused:
        return reportFailure(E_INVALIDARG, result.message);
    case SessionResult::Busy:
        return reportFailure(E_UNEXPECTED, result.message);
    case SessionResult::Failed:
        break;
    }
    return reportFailure(E_FAIL, result.message);
}

void ReportViewControl::applySessionOptions()
{
    m_session.setUndoEnabled(m_props.allowUnDo);
    m_session.setCacheEnabled(m_props.cacheEnabled);
    m_session.setAsynchronous(m_props.asynchronous);
}

bool ReportViewControl::listening() const
{
    return m_events->connectionCount() > 0 && m_freezeEvents == 0;
}

void ReportViewControl::prompted(const QString& message)
{
    fireEvent(ReportViewEventId::OnPrompt, {Variant::fromString(view(message))});
    if (!m_props.customPrompt && m_widget)
        m_widget->setMessage(message);
}

void ReportViewControl::dataLoaded()
{
    fireEvent(ReportViewEventId::OnDataLoadFinished);
}

void ReportViewControl::dataLoadFailed(const QString& message)
{
    fireEvent(ReportViewEventId::OnDataLoadError, {Variant::fromString(view(message))});
}

std::optional<QString> ReportViewControl::displayValue(const PageItem& item)
{
    // Asked only while a sink listens: without one the drawing costs nothing extra.
    if (!item.bound || !item.cell || !listening())
        return std::nullopt;
    Variant result = Variant::fromString(view(item.value));
    Variant display = Variant::fromString(view(item.text));
    fireEvent(ReportViewEventId::OnGetDisplayValue,
              {byReference(display), byReference(result), Variant::fromString(view(item.cell->elementName()))});
    const QString text = variantText(display.get());
    if (text == item.text)
        return std::nullopt;
    return text;
}

void ReportViewControl::inputEntered(const PageItem& item)
{
    fireEvent(ReportViewEventId::OnInputEnter, {Variant::fromInt32(item.rowIndex), Variant::fromInt32(item.masterIndex),
                                                Variant::fromString(view(item.cell ? item.cell->elementName() : QString()))});
}

void ReportViewControl::inputLeft(const PageItem& item)
{
    fireEvent(ReportViewEventId::OnInputExit, {Variant::fromInt32(item.rowIndex), Variant::fromInt32(item.masterIndex),
                                               Variant::fromString(view(item.cell ? item.cell->elementName() : QString()))});
}

void ReportViewControl::inputChanged(const PageItem& item, const QString& oldValue, const QString& newValue)
{
    m_dirty = true;
    Variant oldText = Variant::fromString(view(oldValue));
    Variant newText = Variant::fromString(view(newValue));
    fireEvent(ReportViewEventId::OnInputChanged,
              {byReference(newText), byReference(oldText), Variant::fromInt32(item.rowIndex),
               Variant::fromInt32(item.masterIndex), Variant::fromString(view(item.cell->elementName()))});
}

void ReportViewControl::hyperlinkClicked(const PageItem& item)
{
    Variant result = Variant::fromString(view(item.link));
    fireEvent(ReportViewEventId::OnHRefClick,
              {byReference(result), Variant::fromString(view(item.cell ? item.cell->elementName() : QString()))});
}

std::optional<ExprValue> ReportViewControl::customFunction(const QString& name, const std::vector<ExprValue>& args)
{
    if (!listening())
        return std::nullopt;
    ComPtr<ICustomFunction> function = createCustomFunction(name, args);
    fireEvent(ReportViewEventId::OnCustomFunctionExecute, {Variant::fromDispatch(function.get())});
    return customFunctionResult(function.get());
}

void ReportViewControl::pagesReplaced()
{
    SetErrorInfo(0, nullptr); // laying out is no failing call of the host's
    pushPagesToView();
}

void ReportViewControl::layoutProgressed(int pageCount, bool done)
{
    if (m_widget)
        m_widget->setPageCount(pageCount, done);
}

std::optional<int> ReportViewControl::viewedPage() const
{
    if (!m_widget)
        return std::nullopt;
    return m_widget->currentPage();
}

void ReportViewControl::showPage(int page)
{
    if (m_widget)
        m_widget->showPage(page);
}

} // namespace vl
