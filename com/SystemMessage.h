#pragma once
// The system's message text for a status code. The table holds the usual English texts of the
// codes this layer defines; any other code has none.

#include "ComTypes.h"

#include <cstdarg>
#include <string>

inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;

// Writes the text of messageId followed by "\r\n" and a zero into buffer, as the platform does,
// and answers the characters written without the zero. Answers 0 when there is no text, when
// FORMAT_MESSAGE_FROM_SYSTEM is missing, or when the text does not fit in size characters.
DWORD FormatMessageW(
    DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size, va_list* arguments);

namespace vl
{
// The bare text ("Unspecified error"), without the line end; empty when there is none.
std::u16string systemMessageText(HRESULT code);
} // namespace vl
