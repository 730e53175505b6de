#include "Exceptions.h"

namespace vl {

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
