#pragma once
// The command-line loop every tool shares: the data options, --help and --version are read here, the
// tool's own options by a reader it gives, which the helpers below spare the usual checks.

#include "DataOptions.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vl {

// What the command line asks of the tool itself, apart from the tool's own options.
struct CommandLineAnswers {
    std::string error; // empty when the command line is good
    bool help = false;
    bool version = false;
};

template <typename Options>
struct ParsedCommandLine : CommandLineAnswers {
    Options options;
};

class ArgumentReader {
public:
    // Reads the tool's own option at the current argument and returns true, or returns refuse(...).
    using ReadOwn = std::function<bool(ArgumentReader& reader)>;

    // Reads every argument in order until one is refused; answers.error says why, empty when none was.
    static void readAll(
        const std::vector<std::string>& arguments, DataOptions& data, CommandLineAnswers& answers, const ReadOwn& readOwn);

    // The argument being read.
    const std::string& argument() const { return m_arguments[m_index]; }

    // Takes the value after the current option into value, an option given once (given remembers it);
    // false, with the refusal set, when the value is missing or the option was given before.
    bool takeValueOnce(std::string& value, bool& given);
    // Likewise, the option counting as given when value holds one.
    bool takeValueOnce(std::optional<std::string>& value);

    // Sets the refusal; always false, for `return reader.refuse(...)`.
    bool refuse(std::string message);

private:
    ArgumentReader(const std::vector<std::string>& arguments, std::string& error)
        : m_arguments(arguments), m_error(error)
    {
    }

    const std::vector<std::string>& m_arguments;
    std::string& m_error;
    std::size_t m_index = 0;
};

} // namespace vl
