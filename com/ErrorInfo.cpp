#include "ErrorInfo.h"

#include "BStr.h"
#include "ComObject.h"

namespace
{

class ErrorObject : public vl::ComObject<IErrorInfo, ICreateErrorInfo>
{
public:
    HRESULT GetGUID(GUID* guid) override
    {
        if (!guid)
            return E_INVALIDARG;
        *guid = m_guid;
        return S_OK;
    }
    HRESULT GetSource(BSTR* source) override { return copyOut(m_source, source); }
    HRESULT GetDescription(BSTR* description) override { return copyOut(m_description, description); }
    HRESULT GetHelpFile(BSTR* helpFile) override { return copyOut(m_helpFile, helpFile); }
    HRESULT GetHelpContext(DWORD* helpContext) override
    {
        if (!helpContext)
            return E_INVALIDARG;
        *helpContext = m_helpContext;
        return S_OK;
    }

    HRESULT SetGUID(REFGUID guid) override
    {
        m_guid = guid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR source) override { return copyIn(source, m_source); }
    HRESULT SetDescription(LPOLESTR description) override { return copyIn(description, m_description); }
    HRESULT SetHelpFile(LPOLESTR helpFile) override { return copyIn(helpFile, m_helpFile); }
    HRESULT SetHelpContext(DWORD helpContext) override
    {
        m_helpContext = helpContext;
        return S_OK;
    }

protected:
    void* interfaceFor(REFIID iid) override
    {
        if (iid == IID_IErrorInfo)
            return static_cast<IErrorInfo*>(this);
        if (iid == IID_ICreateErrorInfo)
            return static_cast<ICreateErrorInfo*>(this);
        return nullptr;
    }

private:
    static HRESULT copyOut(const std::u16string& text, BSTR* out)
    {
        if (!out)
            return E_INVALIDARG;
        *out = text.empty() ? nullptr : SysAllocStringLen(text.data(), UINT(text.size()));
        return text.empty() || *out ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT copyIn(LPOLESTR text, std::u16string& target)
    {
        target = text ? std::u16string(text) : std::u16string();
        return S_OK;
    }

    GUID m_guid = GUID_NULL;
    std::u16string m_source;
    std::u16string m_description;
    std::u16string m_helpFile;
    DWORD m_helpContext = 0;
};

// One slot per thread for the whole process: this library is shared by the program and its plug-ins.
thread_local vl::ComPtr<IErrorInfo> t_errorInfo;

} // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = new (std::nothrow) ErrorObject;
    return *info ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* info)
{
    t_errorInfo = vl::ComPtr<IErrorInfo>(info);
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** info)
{
    if (!info)
        return E_INVALIDARG;
    *info = t_errorInfo.detach();
    return *info ? S_OK : S_FALSE;
}

namespace vl
{

HRESULT setErrorInfo(HRESULT hr, std::u16string_view source, std::u16string_view description, REFGUID iid,
    std::u16string_view helpFile, DWORD helpContext)
{
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(&create)))
        return hr;
    std::u16string text(source);
    create->SetSource(text.data());
    text = description;
    create->SetDescription(text.data());
    text = helpFile;
    create->SetHelpFile(text.data());
    create->SetGUID(iid);
    create->SetHelpContext(helpContext);
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.query(IID_IErrorInfo, info)))
        SetErrorInfo(0, info.get());
    return hr;
}

} // namespace vl
