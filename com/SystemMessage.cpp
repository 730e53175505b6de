#include "SystemMessage.h"

#include <cstring>

namespace
{

struct MessageEntry {
    HRESULT code;
    const char16_t* text;
};

// The platform's usual English texts, without their line end.
constexpr MessageEntry messages[] = {
    { S_OK, u"The operation completed successfully." },
    { E_NOTIMPL, u"Not implemented" },
    { E_NOINTERFACE, u"No such interface supported" },
    { E_POINTER, u"Invalid pointer" },
    { E_ABORT, u"Operation aborted" },
    { E_FAIL, u"Unspecified error" },
    { E_UNEXPECTED, u"Catastrophic failure" },
    { E_ACCESSDENIED, u"Access is denied." },
    { E_HANDLE, u"The handle is invalid." },
    { E_OUTOFMEMORY, u"Not enough memory resources are available to complete this operation." },
    { E_INVALIDARG, u"The parameter is incorrect." },
    { HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), u"The specified module could not be found." },
    { HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), u"The specified procedure could not be found." },
    { HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), u"The data area passed to a system call is too small." },
    { RPC_E_CHANGED_MODE, u"Cannot change thread mode after it is set." },
    { DISP_E_UNKNOWNINTERFACE, u"Unknown interface." },
    { DISP_E_MEMBERNOTFOUND, u"Member not found." },
    { DISP_E_PARAMNOTFOUND, u"Parameter not found." },
    { DISP_E_TYPEMISMATCH, u"Type mismatch." },
    { DISP_E_UNKNOWNNAME, u"Unknown name." },
    { DISP_E_NONAMEDARGS, u"No named arguments." },
    { DISP_E_BADVARTYPE, u"Bad variable type." },
    { DISP_E_EXCEPTION, u"Exception occurred." },
    { DISP_E_OVERFLOW, u"Out of present range." },
    { DISP_E_BADINDEX, u"Invalid index." },
    { DISP_E_ARRAYISLOCKED, u"Memory is locked." },
    { DISP_E_BADPARAMCOUNT, u"Invalid number of parameters." },
    { DISP_E_PARAMNOTOPTIONAL, u"Parameter not optional." },
    { TYPE_E_ELEMENTNOTFOUND, u"Element not found." },
    { OLE_E_ADVISENOTSUPPORTED, u"This implementation doesn't take advises" },
    { OLE_E_NOCONNECTION, u"There is no connection for this connection ID" },
    { OLE_E_NOTRUNNING, u"Need to run the object to perform this operation" },
    { OLE_E_BLANK, u"Uninitialized object" },
    { OLE_E_NOT_INPLACEACTIVE, u"Object is not in any of the inplace active states" },
    { CLASS_E_NOAGGREGATION, u"Class does not support aggregation (or class object is remote)" },
    { CLASS_E_CLASSNOTAVAILABLE, u"ClassFactory cannot supply requested class" },
    { REGDB_E_CLASSNOTREG, u"Class not registered" },
    { OLEOBJ_E_NOVERBS, u"Object has no verbs" },
    { OLEOBJ_E_INVALIDVERB, u"Invalid verb for OLE object" },
    { CONNECT_E_NOCONNECTION, u"There is no connection for this connection ID" },
    { CONNECT_E_ADVISELIMIT, u"This implementation's limit for advisory connections has been reached" },
    { CONNECT_E_CANNOTCONNECT, u"Connection attempt failed" },
    { CO_E_NOTINITIALIZED, u"CoInitialize has not been called." },
    { CO_E_DLLNOTFOUND, u"DLL for class not found" },
    { CO_E_ERRORINDLL, u"Error in the DLL" },
    { STG_E_INVALIDFUNCTION, u"Unable to perform requested operation." },
    { STG_E_INVALIDPOINTER, u"Invalid pointer error." },
    { STG_E_INVALIDPARAMETER, u"Invalid parameter error." },
    { STG_E_MEDIUMFULL, u"There is insufficient disk space to complete operation." },
    { STG_E_READFAULT, u"A disk error occurred during a read operation." },
};

const char16_t* findText(HRESULT code)
{
    for (const MessageEntry& e : messages)
        if (e.code == code)
            return e.text;
    return nullptr;
}

} // namespace

DWORD FormatMessageW(DWORD flags, const void*, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, va_list*)
{
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer)
        return 0;
    const char16_t* text = findText(static_cast<HRESULT>(messageId));
    if (!text)
        return 0;
    const std::u16string full = std::u16string(text) + u"\r\n";
    if (full.size() + 1 > size)
        return 0;
    std::memcpy(buffer, full.c_str(), (full.size() + 1) * sizeof(char16_t));
    return DWORD(full.size());
}

namespace vl
{

std::u16string systemMessageText(HRESULT code)
{
    const char16_t* text = findText(code);
    return text ? std::u16string(text) : std::u16string();
}

} // namespace vl
