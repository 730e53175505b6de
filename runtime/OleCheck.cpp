#include "OleCheck.h"

#include "BStr.h"
#include "ErrorInfo.h"
#include "Exceptions.h"
#include "SystemMessage.h"
#include "Text.h"

namespace vl
{

std::string trimOleMessage(std::string_view text)
{
    size_t end = text.size();
    while (end > 0 && (static_cast<unsigned char>(text[end - 1]) <= 32 || text[end - 1] == '.'))
        --end;
    return std::string(text.substr(0, end));
}

std::string oleErrorMessage(HRESULT code)
{
    OLECHAR buffer[256];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, buffer, 256, nullptr);
    std::string message = trimOleMessage(toNarrow(std::u16string_view(buffer, length)));
    if (message.empty())
        message = format("OLE error %.8X", static_cast<unsigned>(code));
    return message;
}

void oleCheck(HRESULT result)
{
    if (SUCCEEDED(result))
        return;
    BStr source, description, helpFile;
    DWORD helpContext = 0;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        info->GetSource(&source);
        info->GetDescription(&description);
        info->GetHelpFile(&helpFile);
        info->GetHelpContext(&helpContext);
    }
    std::string message = trimOleMessage(toNarrow(description.view()));
    if (message.empty())
        message = oleErrorMessage(result);
    throw EOleException(
        std::move(message), result, toNarrow(source.view()), toNarrow(helpFile.view()), static_cast<int>(helpContext));
}

void oleSysError(HRESULT code)
{
    throw EOleSysError(oleErrorMessage(code), code);
}

} // namespace vl
