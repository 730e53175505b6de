#pragma once
// The one shape of a refusal of a text the data layer reads (a connection string, a command text):
// the reason and where it stands.

#include <cstddef>
#include <string>

namespace vl {

// Why and where a text was refused; true when it was read.
struct TextFault {
    std::string message; // empty on success
    std::size_t position = 0; // 1-based position of the fault
    explicit operator bool() const { return message.empty(); }
};

} // namespace vl
