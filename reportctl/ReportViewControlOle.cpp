// The control's embedding side: client site, in-place activation in the host's window, extent,
// ambient properties and persistence.
#include "ReportViewControl.h"
#include "ReportText_p.h"

#include <limits>

#include "BStr.h"
#include "ErrorInfo.h"
#include "OleFont.h"

#include <QStringList>

namespace vl {

namespace {

constexpr DWORD MiscStatus = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_RECOMPOSEONRESIZE
    | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE;

QRect toQRect(const RECT& rect)
{
    return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

// Reads one ambient property from the site; false when the site does not answer it.
bool readAmbient(IOleClientSite* site, DISPID dispId, Variant& value)
{
    if (!site)
        return false;
    ComPtr<IDispatch> ambient;
    if (FAILED(site->QueryInterface(IID_IDispatch, ambient.voidOut())) || !ambient)
        return false;
    DISPPARAMS none {nullptr, nullptr, 0, 0};
    return SUCCEEDED(ambient->Invoke(dispId, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr));
}

// Either way the extent goes: a place for it (missing names the failure) and the content aspect.
HRESULT checkExtentArguments(DWORD drawAspect, const SIZEL* size, const QString& missing)
{
    if (!size)
        return reportFailure(E_POINTER, missing);
    if (drawAspect != DVASPECT_CONTENT)
        return reportFailure(E_INVALIDARG, QStringLiteral("Only the content aspect has an extent"));
    return S_OK;
}

} // namespace

// IOleObject

HRESULT ReportViewControl::SetClientSite(IOleClientSite* site)
{
    return guardedCall([&] {
        m_site = ComPtr<IOleClientSite>(site);
        if (site)
            OnAmbientPropertyChange(DISPID_UNKNOWN);
        return S_OK;
    });
}

HRESULT ReportViewControl::GetClientSite(IOleClientSite** site)
{
    if (!site)
        return reportFailure(E_POINTER, QStringLiteral("No place for the result"));
    return m_site.copyTo(site);
}

HRESULT ReportViewControl::SetHostNames(LPCOLESTR, LPCOLESTR)
{
    return S_OK;
}

HRESULT ReportViewControl::Close(DWORD)
{
    // Nothing is unsaved beyond the properties, which the host saves through IPersistStreamInit.
    return guardedCall([&] {
        InPlaceDeactivate();
        return S_OK;
    });
}

HRESULT ReportViewControl::SetMoniker(DWORD, IMoniker*)
{
    return E_NOTIMPL;
}

HRESULT ReportViewControl::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT ReportViewControl::InitFromData(IDataObject*, BOOL, DWORD)
{
    return E_NOTIMPL;
}

HRESULT ReportViewControl::GetClipboardData(DWORD, IDataObject** data)
{
    if (data)
        *data = nullptr;
    return E_NOTIMPL;
}

HRESULT ReportViewControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent, LPCRECT posRect)
{
    return guardedCall([&]() -> HRESULT {
        switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE:
        case OLEIVERB_UIACTIVATE:
            break;
        case OLEIVERB_HIDE:
            if (m_widget)
                m_widget->hide();
            return S_OK;
        default:
            return reportFailure(OLEOBJ_E_INVALIDVERB, QStringLiteral("Verb %1 is not supported").arg(verb));
        }
        IOleClientSite* site = activeSite ? activeSite : m_site.get();
        if (!site)
            return reportFailure(E_UNEXPECTED, QStringLiteral("The control has no client site"));
        ComPtr<IOleInPlaceSite> inPlaceSite;
        if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, inPlaceSite.voidOut())) || !inPlaceSite)
            return reportFailure(E_NOINTERFACE, QStringLiteral("The client site cannot host the control in place"));

        if (!m_widget) {
            if (inPlaceSite->CanInPlaceActivate() != S_OK)
                return reportFailure(E_FAIL, QStringLiteral("The client site refuses in-place activation"));
            if (const HRESULT hr = inPlaceSite->OnInPlaceActivate(); FAILED(hr))
                return reportFailure(hr, QStringLiteral("The client site failed to begin in-place activation"));
            ComPtr<IOleInPlaceFrame> frame;
            ComPtr<IOleInPlaceUIWindow> document;
            RECT position {}, clip {};
            OLEINPLACEFRAMEINFO frameInfo {};
            frameInfo.cb = sizeof(frameInfo);
            const HRESULT context = inPlaceSite->GetWindowContext(&frame, &document, &position, &clip, &frameInfo);
            HWND window = parent;
            if (!window && FAILED(inPlaceSite->GetWindow(&window)))
                window = nullptr;
            if (!window) {
                inPlaceSite->OnInPlaceDeactivate();
                return reportFailure(E_INVALIDARG, QStringLiteral("No parent window to activate the control in"));
            }
            const QRect geometry = posRect ? toQRect(*posRect) : SUCCEEDED(context) ? toQRect(position) : QRect();
            m_widget = new ReportViewWidget(window);
            m_widget->setGeometry(geometry);
            connectView();
            updateView();
            pushPagesToView();
            m_inPlaceSite = inPlaceSite;
            if (m_props.visible)
                m_widget->show();
        }
        if (verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY || verb == OLEIVERB_SHOW)
            m_inPlaceSite->OnUIActivate();
        return S_OK;
    });
}

HRESULT ReportViewControl::EnumVerbs(IEnumOLEVERB** verbs)
{
    if (verbs)
        *verbs = nullptr;
    return E_NOTIMPL;
}

HRESULT ReportViewControl::Update()
{
    return S_OK;
}

HRESULT ReportViewControl::IsUpToDate()
{
    return S_OK;
}

HRESULT ReportViewControl::GetUserClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = CLSID_ReportView;
    return S_OK;
}

HRESULT ReportViewControl::GetUserType(DWORD, LPOLESTR* userType)
{
    if (userType)
        *userType = nullptr;
    return E_NOTIMPL;
}

HRESULT ReportViewControl::SetExtent(DWORD drawAspect, SIZEL* size)
{
    const HRESULT hr = checkExtentArguments(drawAspect, size, QStringLiteral("No extent given"));
    if (FAILED(hr))
        return hr;
    if (size->cx < 0 || size->cy < 0)
        return reportFailure(E_INVALIDARG, QStringLiteral("A negative extent"));
    m_extent = *size;
    return S_OK;
}

HRESULT ReportViewControl::GetExtent(DWORD drawAspect, SIZEL* size)
{
    const HRESULT hr = checkExtentArguments(drawAspect, size, QStringLiteral("No place for the result"));
    if (FAILED(hr))
        return hr;
    *size = m_extent;
    return S_OK;
}

HRESULT ReportViewControl::Advise(IAdviseSink*, DWORD* connection)
{
    if (connection)
        *connection = 0;
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT ReportViewControl::Unadvise(DWORD)
{
    return OLE_E_NOCONNECTION;
}

HRESULT ReportViewControl::EnumAdvise(IEnumSTATDATA** advise)
{
    if (advise)
        *advise = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT ReportViewControl::GetMiscStatus(DWORD, DWORD* status)
{
    if (!status)
        return reportFailure(E_POINTER, QStringLiteral("No place for the result"));
    *status = MiscStatus;
    return S_OK;
}

HRESULT ReportViewControl::SetColorScheme(LOGPALETTE*)
{
    return E_NOTIMPL;
}

// IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject

HRESULT ReportViewControl::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_widget.data();
    return m_widget ? S_OK : E_FAIL;
}

HRESULT ReportViewControl::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

HRESULT ReportViewControl::InPlaceDeactivate()
{
    return guardedCall([&] {
        if (!m_widget && !m_inPlaceSite)
            return S_OK;
        delete m_widget.data();
        if (ComPtr<IOleInPlaceSite> site = std::move(m_inPlaceSite))
            site->OnInPlaceDeactivate();
        return S_OK;
    });
}

HRESULT ReportViewControl::UIDeactivate()
{
    return guardedCall([&] {
        if (m_inPlaceSite)
            m_inPlaceSite->OnUIDeactivate(FALSE);
        return S_OK;
    });
}

HRESULT ReportViewControl::SetObjectRects(LPCRECT posRect, LPCRECT)
{
    return guardedCall([&] {
        if (!posRect)
            return reportFailure(E_POINTER, QStringLiteral("No rectangle given"));
        if (!m_widget)
            return S_OK;
        QRect geometry = toQRect(*posRect);
        if (geometry.size() != m_widget->size()) {
            // The host may adjust the new size or refuse it.
            Variant width = Variant::fromInt32(geometry.width()), height = Variant::fromInt32(geometry.height());
            Variant resize = Variant::fromBool(true);
            auto reference = [](Variant& target, VARTYPE type) {
                VARIANT byRef;
                VariantInit(&byRef);
                byRef.vt = type | VT_BYREF;
                if (type == VT_I4)
                    byRef.plVal = &target.ptr()->lVal;
                else
                    byRef.pboolVal = &target.ptr()->boolVal;
                return Variant::adopt(byRef);
            };
            fireEvent(ReportViewEventId::OnCanResize, {reference(resize, VT_BOOL), reference(height, VT_I4), reference(width, VT_I4)});
            if (resize->boolVal == VARIANT_FALSE)
                geometry.setSize(m_widget->size());
            else
                geometry.setSize(QSize(std::max(0, static_cast<int>(width->lVal)), std::max(0, static_cast<int>(height->lVal))));
        }
        const bool resized = geometry.size() != m_widget->size();
        m_widget->setGeometry(geometry);
        if (resized)
            fireEvent(ReportViewEventId::OnResize);
        return S_OK;
    });
}

HRESULT ReportViewControl::ReactivateAndUndo()
{
    return E_NOTIMPL;
}

HRESULT ReportViewControl::TranslateAccelerator(LPMSG msg)
{
    return guardedCall([&]() -> HRESULT {
        if (!msg || !m_widget || msg->message != WM_KEYDOWN)
            return S_FALSE;
        // Page keys page through the report; everything else belongs to the host.
        int32_t page = m_widget->currentPage();
        if (msg->key == Qt::Key_PageDown)
            ++page;
        else if (msg->key == Qt::Key_PageUp)
            --page;
        else if (msg->key == Qt::Key_Home && (msg->modifiers & KEYMOD_CONTROL))
            page = 0;
        else if (msg->key == Qt::Key_End && (msg->modifiers & KEYMOD_CONTROL))
            page = std::numeric_limits<int32_t>::max();
        else
            return S_FALSE;
        if (page == std::numeric_limits<int32_t>::max())
            page = m_session.finishLayout() ? m_session.layouter()->pageCount() - 1 : 0;
        if (page >= 0)
            put_PageIndex(page);
        SetErrorInfo(0, nullptr);
        return S_OK;
    });
}

HRESULT ReportViewControl::OnFrameWindowActivate(BOOL)
{
    return S_OK;
}

HRESULT ReportViewControl::OnDocWindowActivate(BOOL)
{
    return S_OK;
}

HRESULT ReportViewControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL)
{
    return S_OK;
}

HRESULT ReportViewControl::EnableModeless(BOOL)
{
    return S_OK;
}

// IOleControl

HRESULT ReportViewControl::GetControlInfo(CONTROLINFO* info)
{
    if (!info)
        return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

HRESULT ReportViewControl::OnMnemonic(MSG*)
{
    return S_OK;
}

HRESULT ReportViewControl::OnAmbientPropertyChange(DISPID dispId)
{
    return guardedCall([&] {
        const bool all = dispId == DISPID_UNKNOWN;
        Variant value;
        if ((all || dispId == DISPID_AMBIENT_USERMODE) && readAmbient(m_site.get(), DISPID_AMBIENT_USERMODE, value)) {
            bool userMode = true;
            if (SUCCEEDED(value.toBool(userMode)))
                m_userMode = userMode;
        }
        if ((all || dispId == DISPID_AMBIENT_BACKCOLOR) && readAmbient(m_site.get(), DISPID_AMBIENT_BACKCOLOR, value)
            && m_widget) {
            int32_t colour = 0;
            if (SUCCEEDED(value.toInt32(colour))) {
                QPalette palette = m_widget->palette();
                palette.setColor(QPalette::Window, colorFromOle(colour));
                m_widget->setPalette(palette);
            }
        }
        if ((all || dispId == DISPID_AMBIENT_FONT) && readAmbient(m_site.get(), DISPID_AMBIENT_FONT, value) && m_widget
            && (value.type() == VT_DISPATCH || value.type() == VT_UNKNOWN) && value->punkVal) {
            ComPtr<IFont> font;
            if (SUCCEEDED(value->punkVal->QueryInterface(IID_IFont, font.voidOut())) && font) {
                BStr name;
                if (SUCCEEDED(font->get_Name(&name)) && !name.empty()) {
                    QFont widgetFont = m_widget->font();
                    widgetFont.setFamily(text(name.get()));
                    m_widget->setFont(widgetFont);
                }
            }
        }
        SetErrorInfo(0, nullptr); // an ambient property the site does not answer is no failure
        return S_OK;
    });
}

HRESULT ReportViewControl::FreezeEvents(BOOL freeze)
{
    m_freezeEvents += freeze ? 1 : (m_freezeEvents > 0 ? -1 : 0);
    return S_OK;
}

// IPersistStreamInit
// The state is a UTF-8 text of "DISPID=value" lines over the writable properties, so that new
// properties never break old streams.

HRESULT ReportViewControl::GetClassID(CLSID* clsid)
{
    return GetUserClassID(clsid);
}

HRESULT ReportViewControl::IsDirty()
{
    return m_dirty ? S_OK : S_FALSE;
}

HRESULT ReportViewControl::InitNew()
{
    return guardedCall([&] {
        m_props = ReportViewProperties{};
        applySessionOptions();
        m_dirty = false;
        updateView();
        return S_OK;
    });
}

HRESULT ReportViewControl::Save(IStream* stream, BOOL clearDirty)
{
    return guardedCall([&] {
        if (!stream)
            return reportFailure(E_POINTER, QStringLiteral("No stream to save to"));
        QStringList lines;
        for (const DISPID id : persistedProperties()) {
            Variant value, textValue;
            DISPPARAMS none {nullptr, nullptr, 0, 0};
            if (FAILED(Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.ptr(), nullptr, nullptr)))
                continue;
            std::u16string textForm;
            if (FAILED(value.toString(textForm)))
                continue;
            lines << QStringLiteral("%1=%2").arg(id).arg(QString::fromStdU16String(textForm).toHtmlEscaped());
        }
        const QByteArray bytes = lines.join(u'\n').toUtf8();
        const uint32_t size = static_cast<uint32_t>(bytes.size());
        ULONG written = 0;
        if (FAILED(stream->Write(&size, sizeof(size), &written)) || written != sizeof(size)
            || FAILED(stream->Write(bytes.constData(), size, &written)) || written != size)
            return reportFailure(STG_E_MEDIUMFULL, QStringLiteral("The control's state could not be saved"));
        if (clearDirty)
            m_dirty = false;
        return S_OK;
    });
}

HRESULT ReportViewControl::Load(IStream* stream)
{
    return guardedCall([&] {
        if (!stream)
            return reportFailure(E_POINTER, QStringLiteral("No stream to load from"));
        uint32_t size = 0;
        ULONG read = 0;
        if (FAILED(stream->Read(&size, sizeof(size), &read)) || read != sizeof(size) || size > (1u << 24))
            return reportFailure(STG_E_READFAULT, QStringLiteral("The control's saved state is unreadable"));
        QByteArray bytes(static_cast<qsizetype>(size), '\0');
        if (FAILED(stream->Read(bytes.data(), size, &read)) || read != size)
            return reportFailure(STG_E_READFAULT, QStringLiteral("The control's saved state is truncated"));
        m_props = ReportViewProperties{};
        applySessionOptions();
        for (const QString& line : QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts)) {
            const qsizetype equals = line.indexOf(u'=');
            bool ok = false;
            const DISPID id = line.left(equals).toInt(&ok);
            if (equals < 0 || !ok)
                continue;
            QString valueText = line.mid(equals + 1);
            valueText.replace(u"&lt;"_qs, u"<"_qs).replace(u"&gt;"_qs, u">"_qs).replace(u"&quot;"_qs, u"\""_qs).replace(u"&amp;"_qs, u"&"_qs);
            Variant value = Variant::fromString(view(valueText));
            DISPID named = DISPID_PROPERTYPUT;
            DISPPARAMS params {value.ptr(), &named, 1, 1};
            // A value this version cannot take is skipped rather than failing the whole state.
            Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
        }
        SetErrorInfo(0, nullptr);
        m_dirty = false;
        updateView();
        return S_OK;
    });
}

HRESULT ReportViewControl::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size)
        return E_POINTER;
    size->QuadPart = 64 * 1024;
    return S_OK;
}

} // namespace vl
