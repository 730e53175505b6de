#pragma once
// Turning failed status codes of the component object layer into exceptions.

#include "ComTypes.h"

#include <string>
#include <string_view>

namespace vl
{

// Removes trailing blanks, control characters (code 32 or less) and full stops.
std::string trimOleMessage(std::string_view text);

// The system's message text for code, trimmed; a text longer than 256 characters counts as none,
// and then the answer is "OLE error %.8X".
std::string oleErrorMessage(HRESULT code);

// Any non-negative result passes. A negative one raises EOleException with the thread's error
// information (taken from the thread whatever left it there): the trimmed description as
// message, else oleErrorMessage(result); the source, help file and help context go with it.
void oleCheck(HRESULT result);

// Raises EOleSysError with oleErrorMessage(code) as message.
[[noreturn]] void oleSysError(HRESULT code);

} // namespace vl
