#include "ReportViewControl.h"

#include "ReportSubObjects_p.h"
#include "ReportText_p.h"

#include "BStr.h"
#include "ErrorInfo.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <new>

namespace vl {

namespace {

const char16_t ErrorSource[] = u"ReportView";

VARIANT_BOOL toVariantBool(bool value)
{
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

bool fromVariantBool(VARIANT_BOOL value)
{
    return value != VARIANT_FALSE;
}

// A new BSTR holding the text, for the caller to free.
BSTR newBstr(const QString& value)
{
    return BStr(view(value)).release();
}

// One entry per DISPID of the dispatch interface: how to read it into a variant of exactly its type,
// and how to write it from one already converted to that type.
struct DispatchMember {
    DISPID id;
    VARTYPE type; // VT_EMPTY for a method
    std::function<HRESULT(IReportView&, VARIANT&)> get;
    std::function<HRESULT(IReportView&, const VARIANT&)> put;
    std::function<HRESULT(IReportView&)> call;
};

// A property that IDispatch reads and writes as one variant type, `Vt`, held in the variant's `Field`;
// without `put` it is read-only.
template <VARTYPE Vt, auto Field, class T>
DispatchMember valueMember(DISPID id, HRESULT (IReportView::*get)(T*), HRESULT (IReportView::*put)(T))
{
    return {id, Vt,
            [get](IReportView& view, VARIANT& out) {
                T value {};
                const HRESULT hr = (view.*get)(&value);
                out.vt = Vt;
                out.*Field = value;
                return hr;
            },
            put ? std::function<HRESULT(IReportView&, const VARIANT&)>(
                      [put](IReportView& view, const VARIANT& in) { return (view.*put)(in.*Field); })
                : nullptr,
            nullptr};
}
constexpr auto int32Member = valueMember<VT_I4, &VARIANT::lVal, int32_t>;
constexpr auto boolMember = valueMember<VT_BOOL, &VARIANT::boolVal, VARIANT_BOOL>;
constexpr auto doubleMember = valueMember<VT_R8, &VARIANT::dblVal, double>;
constexpr auto stringMember = valueMember<VT_BSTR, &VARIANT::bstrVal, BSTR>;

template <class Sub>
DispatchMember objectMember(DISPID id, HRESULT (IReportView::*get)(Sub**))
{
    return {id, VT_DISPATCH,
            [get](IReportView& view, VARIANT& out) {
                Sub* value = nullptr;
                const HRESULT hr = (view.*get)(&value);
                out.vt = VT_DISPATCH;
                out.pdispVal = value;
                return hr;
            },
            nullptr, nullptr};
}

DispatchMember methodMember(DISPID id, HRESULT (IReportView::*call)())
{
    return {id, VT_EMPTY, nullptr, nullptr, [call](IReportView& view) { return (view.*call)(); }};
}

const std::vector<DispatchMember>& dispatchMembers()
{
    namespace D = ReportViewDispId;
    using V = IReportView;
    static const std::vector<DispatchMember> members = {
        int32Member(D::BevelInner, &V::get_BevelInner, &V::put_BevelInner),
        int32Member(D::BevelOuter, &V::get_BevelOuter, &V::put_BevelOuter),
        int32Member(D::BorderStyle, &V::get_BorderStyle, &V::put_BorderStyle),
        boolMember(D::Ctl3D, &V::get_Ctl3D, &V::put_Ctl3D),
        boolMember(D::Enabled, &V::get_Enabled, &V::put_Enabled),
        boolMember(D::Locked, &V::get_Locked, &V::put_Locked),
        boolMember(D::Visible, &V::get_Visible, &V::put_Visible),
        int32Member(D::ViewMode, &V::get_ViewMode, &V::put_ViewMode),
        boolMember(D::AllowUnDo, &V::get_AllowUnDo, &V::put_AllowUnDo),
        boolMember(D::ShowSheetTab, &V::get_ShowSheetTab, &V::put_ShowSheetTab),
        boolMember(D::ShowNavigator, &V::get_ShowNavigator, &V::put_ShowNavigator),
        boolMember(D::ShowPageBorder, &V::get_ShowPageBorder, &V::put_ShowPageBorder),
        int32Member(D::SheetTabPosition, &V::get_SheetTabPosition, &V::put_SheetTabPosition),
        doubleMember(D::Scale, &V::get_Scale, &V::put_Scale),
        boolMember(D::CustomPrompt, &V::get_CustomPrompt, &V::put_CustomPrompt),
        int32Member(D::WorkSpaceColor, &V::get_WorkSpaceColor, &V::put_WorkSpaceColor),
        int32Member(D::PaperColor, &V::get_PaperColor, &V::put_PaperColor),
        int32Member(D::RuleColor, &V::get_RuleColor, &V::put_RuleColor),
        int32Member(D::RuleOutSideColor, &V::get_RuleOutSideColor, &V::put_RuleOutSideColor),
        int32Member(D::RuleSelectedColor, &V::get_RuleSelectedColor, &V::put_RuleSelectedColor),
        int32Member(D::SheetTabBackColor, &V::get_SheetTabBackColor, &V::put_SheetTabBackColor),
        int32Member(D::SheetTabActiveColor, &V::get_SheetTabActiveColor, &V::put_SheetTabActiveColor),
        int32Member(D::SheetTabInactiveColor, &V::get_SheetTabInactiveColor, &V::put_SheetTabInactiveColor),
        int32Member(D::SheetTabActiveTextColor, &V::get_SheetTabActiveTextColor, &V::put_SheetTabActiveTextColor),
        int32Member(D::SheetTabInactiveTextColor, &V::get_SheetTabInactiveTextColor, &V::put_SheetTabInactiveTextColor),
        int32Member(D::SheetBorderColor, &V::get_SheetBorderColor, &V::put_SheetBorderColor),
        int32Member(D::NavBackColor, &V::get_NavBackColor, &V::put_NavBackColor),
        boolMember(D::ShowContextMenu, &V::get_ShowContextMenu, &V::put_ShowContextMenu),
        boolMember(D::Inputable, &V::get_Inputable, &V::put_Inputable),
        boolMember(D::Asynchronous, &V::get_Asynchronous, &V::put_Asynchronous),
        stringMember(D::DocSrc, &V::get_DocSrc, &V::put_DocSrc),
        stringMember(D::DataSrc, &V::get_DataSrc, &V::put_DataSrc),
        boolMember(D::CacheEnabled, &V::get_CacheEnabled, &V::put_CacheEnabled),
        objectMember(D::ReportDocument, &V::get_ReportDocument),
        objectMember(D::ReportData, &V::get_ReportData),
        objectMember(D::ReportPrinter, &V::get_ReportPrinter),
        int32Member(D::PageCount, &V::get_PageCount, nullptr),
        int32Member(D::PageIndex, &V::get_PageIndex, &V::put_PageIndex),
        stringMember(D::Version, &V::get_Version, nullptr),
        methodMember(D::Refresh, &V::Refresh),
        methodMember(D::ZoomIn, &V::ZoomIn),
        methodMember(D::ZoomOut, &V::ZoomOut),
    };
    return members;
}

// Moves the thread's error info into EXCEPINFO, for a DISP_E_EXCEPTION answer; the thread keeps a copy.
void fillExcepInfo(EXCEPINFO* info, HRESULT hr)
{
    ComPtr<IErrorInfo> error;
    GetErrorInfo(0, &error);
    if (info) {
        clearExcepInfo(*info);
        info->scode = hr;
        if (error) {
            error->GetSource(&info->bstrSource);
            error->GetDescription(&info->bstrDescription);
            error->GetHelpFile(&info->bstrHelpFile);
            error->GetHelpContext(&info->dwHelpContext);
        }
    }
    if (error)
        SetErrorInfo(0, error.get());
}


} // namespace

HRESULT reportFailure(HRESULT hr, const QString& description)
{
    return setErrorInfo(hr, ErrorSource, view(description));
}

HRESULT guardedCall(const std::function<HRESULT()>& body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return reportFailure(E_OUTOFMEMORY, QStringLiteral("Out of memory"));
    } catch (const std::exception& error) {
        return reportFailure(E_FAIL, QStringLiteral("Internal failure: %1").arg(QString::fromUtf8(error.what())));
    } catch (...) {
        return reportFailure(E_UNEXPECTED, QStringLiteral("Internal failure"));
    }
}

QColor colorFromOle(int32_t value)
{
    if (value < 0)
        return QColor(0xC0, 0xC0, 0xC0);
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

ReportViewControl::ReportViewControl() : m_points(this)
{
    m_events = m_points.add(DIID_IReportViewEvents);
    m_propertyNotify = m_points.add(IID_IPropertyNotifySink);
    relayout();
}

ReportViewControl::~ReportViewControl()
{
    delete m_widget.data();
}

void* ReportViewControl::interfaceFor(REFIID iid)
{
    if (iid == IID_IDispatch || iid == IID_IReportView)
        return static_cast<IReportView*>(this);
    if (iid == IID_IConnectionPointContainer)
        return static_cast<IConnectionPointContainer*>(this);
    if (iid == IID_IOleObject)
        return static_cast<IOleObject*>(this);
    if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
        return static_cast<IOleInPlaceObject*>(this);
    if (iid == IID_IOleInPlaceActiveObject)
        return static_cast<IOleInPlaceActiveObject*>(this);
    if (iid == IID_IOleControl)
        return static_cast<IOleControl*>(this);
    if (iid == IID_IPersist || iid == IID_IPersistStreamInit)
        return static_cast<IPersistStreamInit*>(this);
    return nullptr;
}

// IDispatch

HRESULT ReportViewControl::Invoke(DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* excepInfo, UINT* argErr)
{
    return guardedCall([&]() -> HRESULT {
        const auto& members = dispatchMembers();
        const auto member = std::find_if(members.begin(), members.end(), [&](const DispatchMember& m) { return m.id == dispId; });
        if (member == members.end())
            return DISP_E_MEMBERNOTFOUND;
        const UINT argCount = params ? params->cArgs : 0;
        const UINT namedCount = params ? params->cNamedArgs : 0;

        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (!member->put)
                return DISP_E_MEMBERNOTFOUND;
            if (argCount != 1)
                return DISP_E_BADPARAMCOUNT;
            if (namedCount != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            Variant value;
            if (FAILED(VariantChangeType(value.ptr(), &params->rgvarg[0], 0, member->type))) {
                if (argErr)
                    *argErr = 0;
                return DISP_E_TYPEMISMATCH;
            }
            const HRESULT hr = member->put(*this, value.get());
            if (FAILED(hr)) {
                fillExcepInfo(excepInfo, hr);
                return DISP_E_EXCEPTION;
            }
            return hr;
        }
        if (member->call && (flags & DISPATCH_METHOD)) {
            if (argCount != 0)
                return DISP_E_BADPARAMCOUNT;
            const HRESULT hr = member->call(*this);
            if (FAILED(hr)) {
                fillExcepInfo(excepInfo, hr);
                return DISP_E_EXCEPTION;
            }
            return hr;
        }
        if (member->get && (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) {
            if (argCount != 0)
                return DISP_E_BADPARAMCOUNT;
            Variant value;
            const HRESULT hr = member->get(*this, *value.ptr());
            if (FAILED(hr)) {
                fillExcepInfo(excepInfo, hr);
                return DISP_E_EXCEPTION;
            }
            if (result) {
                VariantClear(result);
                *result = value.release();
            }
            return hr;
        }
        return DISP_E_MEMBERNOTFOUND;
    });
}

std::vector<DISPID> ReportViewControl::persistedProperties()
{
    std::vector<DISPID> ids;
    for (const DispatchMember& member : dispatchMembers())
        if (member.put && member.type != VT_DISPATCH && member.id != ReportViewDispId::PageIndex)
            ids.push_back(member.id);
    return ids;
}

// Properties

// A property kept in m_props: the getter hands out `read(member)`, the setter checks the value,
// stores `write(value)`, marks the control dirty and applies the effect.
#define VL_PROPERTY(Name, Type, member, read, check, write, effect)                                               \
    HRESULT ReportViewControl::get_##Name(Type* value)                                                                \
    {                                                                                                                  \
        return guardedCall([&] { return handOut(value, [&] { return read(m_props.member); }); });                   \
    }                                                                                                                  \
    HRESULT ReportViewControl::put_##Name(Type value)                                                                 \
    {                                                                                                                  \
        return guardedCall([&] {                                                                                       \
            check;                                                                                                     \
            m_props.member = write(value);                                                                             \
            m_dirty = true;                                                                                            \
            effect;                                                                                                    \
            return S_OK;                                                                                               \
        });                                                                                                            \
    }
#define VL_SIMPLE_INT(Name, member, effect) VL_PROPERTY(Name, int32_t, member, int32_t, (void)0, int32_t, effect)
// An enumeration takes the values of its value set only (ReportViewIntf.h).
#define VL_ENUM(Name, member, last)                                                                                    \
    VL_PROPERTY(Name, int32_t, member, int32_t,                                                                        \
                if (value < 0 || value > (last)) return reportFailure(                                                 \
                    E_INVALIDARG, QStringLiteral(#Name " %1 is not between 0 and %2").arg(value).arg(last)),           \
                int32_t, updateView())
#define VL_SIMPLE_BOOL(Name, member, effect)                                                                           \
    VL_PROPERTY(Name, VARIANT_BOOL, member, toVariantBool, (void)0, fromVariantBool, effect)
#define VL_SIMPLE_STRING(Name, member, effect) VL_PROPERTY(Name, BSTR, member, newBstr, (void)0, text, effect)

VL_ENUM(BevelInner, bevelInner, rbRaised)
VL_ENUM(BevelOuter, bevelOuter, rbRaised)
VL_ENUM(BorderStyle, borderStyle, rbsSingle)
VL_SIMPLE_BOOL(Ctl3D, ctl3D, updateView())
VL_SIMPLE_BOOL(Locked, locked, updateView())
VL_SIMPLE_BOOL(Visible, visible, updateView())
VL_ENUM(ViewMode, viewMode, rvmContinuous)
VL_SIMPLE_BOOL(AllowUnDo, allowUnDo, m_session.setUndoEnabled(m_props.allowUnDo))
VL_SIMPLE_BOOL(ShowSheetTab, showSheetTab, updateView())
VL_SIMPLE_BOOL(ShowNavigator, showNavigator, updateView())
VL_SIMPLE_BOOL(ShowPageBorder, showPageBorder, updateView())
VL_ENUM(SheetTabPosition, sheetTabPosition, rstTop)
VL_SIMPLE_BOOL(CustomPrompt, customPrompt, if (m_props.customPrompt && m_widget) m_widget->setMessage(QString()))
VL_SIMPLE_INT(WorkSpaceColor, workSpaceColor, updateView())
VL_SIMPLE_INT(PaperColor, paperColor, updateView())
VL_SIMPLE_INT(RuleColor, ruleColor, updateView())
VL_SIMPLE_INT(RuleOutSideColor, ruleOutSideColor, updateView())
VL_SIMPLE_INT(RuleSelectedColor, ruleSelectedColor, updateView())
VL_SIMPLE_INT(SheetTabBackColor, sheetTabBackColor, updateView())
VL_SIMPLE_INT(SheetTabActiveColor, sheetTabActiveColor, updateView())
VL_SIMPLE_INT(SheetTabInactiveColor, sheetTabInactiveColor, updateView())
VL_SIMPLE_INT(SheetTabActiveTextColor, sheetTabActiveTextColor, updateView())
VL_SIMPLE_INT(SheetTabInactiveTextColor, sheetTabInactiveTextColor, updateView())
VL_SIMPLE_INT(SheetBorderColor, sheetBorderColor, updateView())
VL_SIMPLE_INT(NavBackColor, navBackColor, updateView())
VL_SIMPLE_BOOL(ShowContextMenu, showContextMenu, updateView())
VL_SIMPLE_BOOL(Inputable, inputable, updateView())
VL_SIMPLE_BOOL(Asynchronous, asynchronous, m_session.setAsynchronous(m_props.asynchronous); if (!m_props.asynchronous) (void)m_session.finishLayout())
VL_SIMPLE_STRING(DocSrc, docSrc, openDocSrc())
VL_SIMPLE_STRING(DataSrc, dataSrc, openDataSrc())
VL_SIMPLE_BOOL(CacheEnabled, cacheEnabled, m_session.setCacheEnabled(m_props.cacheEnabled))

HRESULT ReportViewControl::get_Enabled(VARIANT_BOOL* value)
{
    return handOut(value, [&] { return toVariantBool(m_props.enabled); });
}

HRESULT ReportViewControl::put_Enabled(VARIANT_BOOL value)
{
    return guardedCall([&] {
        const bool enabled = value != VARIANT_FALSE;
        if (enabled == m_props.enabled)
            return S_OK; // no notice for no change, or host and control would echo forever
        m_props.enabled = enabled;
        m_dirty = true;
        updateView();
        notifyChanged(ReportViewDispId::Enabled);
        return S_OK;
    });
}

HRESULT ReportViewControl::get_Scale(double* value)
{
    return handOut(value, [&] { return m_props.scale; });
}

HRESULT ReportViewControl::put_Scale(double value)
{
    return guardedCall([&] {
        if (!(value >= MinimumScale && value <= MaximumScale))
            return reportFailure(E_INVALIDARG, QStringLiteral("Scale %1 is outside %2 to %3").arg(value).arg(MinimumScale).arg(MaximumScale));
        m_props.scale = value;
        m_dirty = true;
        updateView();
        return S_OK;
    });
}

HRESULT ReportViewControl::get_ReportDocument(IReportDocument** value)
{
    return guardedCall([&] {
        return handOut(value, [&] { return createReportDocument(this).detach(); });
    });
}

HRESULT ReportViewControl::get_ReportData(IReportData** value)
{
    return guardedCall([&] {
        return handOut(value, [&] { return createReportData(this).detach(); });
    });
}

HRESULT ReportViewControl::get_ReportPrinter(IReportPrinter** value)
{
    return guardedCall([&] {
        return handOut(value, [&] { return createReportPrinter(this).detach(); });
    });
}

HRESULT ReportViewControl::Refresh()
{
    return guardedCall([&] {
        if (layingOut())
            return refuseWhileLayingOut();
        relayout();
        fireEvent(ReportViewEventId::OnRefresh);
        return S_OK;
    });
}

HRESULT ReportViewControl::ZoomIn()
{
    return put_Scale(zoomStep(m_props.scale, 1));
}

HRESULT ReportViewControl::ZoomOut()
{
    return put_Scale(zoomStep(m_props.scale, -1));
}

HRESULT ReportViewControl::get_PageCount(int32_t* value)
{
    return guardedCall([&] {
        if (!value)
            return reportFailure(E_POINTER, QStringLiteral("No place for the result"));
        // The host asks for the count itself: finish the layout rather than answer a count that grows.
        if (m_session.layoutRemaining())
            pushPagesToView();
        *value = m_session.layouter() ? static_cast<int32_t>(m_session.layouter()->pageCount()) : 1;
        return S_OK;
    });
}

HRESULT ReportViewControl::get_PageIndex(int32_t* value)
{
    return handOut(value, [&] { return viewedPage().value_or(m_session.pageIndex()); });
}

HRESULT ReportViewControl::put_PageIndex(int32_t value)
{
    return guardedCall([&] {
        if (value >= 0)
            m_session.layoutUntil(value + 1);
        const int count = m_session.layouter() ? m_session.layouter()->pageCount() : 1;
        if (value < 0 || value >= count)
            return reportFailure(E_INVALIDARG, QStringLiteral("There is no page %1").arg(value + 1));
        m_session.setPageIndex(value);
        pushPagesToView();
        if (m_widget)
            m_widget->showPage(value);
        return S_OK;
    });
}

HRESULT ReportViewControl::get_Version(BSTR* value)
{
    return guardedCall([&] {
        return handOut(value, [&] { return BStr(u"1.1").release(); });
    });
}

// Engine operations

HRESULT ReportViewControl::layoutFor(const QString& sheetName, LaidOutReport& out)
{
    return failure(m_session.layoutSheet(sheetName, out));
}

void ReportViewControl::inputCommitted(const PageItem& item, const QString& text)
{
    if (!item.cell || !item.cell->input || !m_props.inputable || m_props.locked)
        return;
    m_session.commitInput(item, text);
}

void ReportViewControl::undoInput()
{
    if (!m_props.locked)
        m_session.undoInput();
}

HRESULT ReportViewControl::openTemplate(const QString& path)
{
    return failure(m_session.openTemplate(path));
}

HRESULT ReportViewControl::closeTemplate()
{
    return failure(m_session.closeTemplate());
}

HRESULT ReportViewControl::setActiveSheet(const QString& name)
{
    return failure(m_session.setActiveSheet(name));
}

HRESULT ReportViewControl::setParameter(const QString& name, const QString& value)
{
    return failure(m_session.setParameter(name, value));
}

HRESULT ReportViewControl::loadData(QStringView text)
{
    return failure(m_session.loadData(text));
}

HRESULT ReportViewControl::clearData()
{
    return failure(m_session.clearData());
}

void ReportViewControl::openDocSrc()
{
    if (m_props.docSrc.isEmpty())
        return;
    // A property write is no command: a template that cannot be read is told, not failed.
    if (FAILED(openTemplate(m_props.docSrc))) {
        ComPtr<IErrorInfo> error;
        GetErrorInfo(0, &error);
        BStr description;
        if (error)
            error->GetDescription(&description);
        prompt(text(description.get()));
    }
}

void ReportViewControl::openDataSrc()
{
    if (m_props.dataSrc.isEmpty())
        return;
    QFile file(m_props.dataSrc);
    if (!file.open(QIODevice::ReadOnly)) {
        prompt(QStringLiteral("Data file \"%1\" cannot be read: %2").arg(m_props.dataSrc, file.errorString()));
        return;
    }
    const QByteArray bytes = file.readAll();
    // The declaration names the file's encoding; without one it is UTF-8.
    static const QRegularExpression declared(QStringLiteral(R"(^\s*<\?xml[^>]*encoding\s*=\s*["']([^"']+)["'])"));
    const QRegularExpressionMatch match = declared.match(QString::fromLatin1(bytes.left(200)));
    QStringDecoder decoder(match.hasMatch() ? match.captured(1).toUtf8().constData() : "UTF-8");
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringConverter::Utf8);
    const QString content = decoder(bytes);
    if (FAILED(loadData(content))) {
        ComPtr<IErrorInfo> error;
        GetErrorInfo(0, &error);
        BStr description;
        if (error)
            error->GetDescription(&description);
        prompt(QStringLiteral("Data file \"%1\": %2").arg(m_props.dataSrc, text(description.get())));
    }
}


} // namespace vl
