#include "Exceptions.h"

#include "Text.h"

namespace vl {

std::string messageWithFullStop(std::string_view text)
{
    std::string message(text);
    if (message.empty())
        return message;
    const size_t last = lastCharOffset(message);
    // Byte by byte: a double-byte character has a lead byte above "." and so gains one too.
    if (message.compare(last, std::string::npos, ".") > 0)
        message.push_back('.');
    return message;
}

void databaseError(std::string_view text, std::string_view componentName)
{
    if (componentName.empty())
        throw EDatabaseError(std::string(text));
    std::string message;
    message.reserve(componentName.size() + 2 + text.size());
    message.append(componentName).append(": ").append(text);
    throw EDatabaseError(std::move(message));
}

} // namespace vl
