#pragma once
// The command line of vldata.

#include "DataOptions.h"

#include <optional>
#include <string>
#include <vector>

namespace vl {

struct VldataOptions : DataOptions {
    std::string encoding;
    std::optional<std::string> outputFile; // none: standard output
    bool help = false;
    bool version = false;
};

struct ParsedCommandLine {
    VldataOptions options;
    std::string error; // empty when the command line is good
};

ParsedCommandLine parseVldataCommandLine(const std::vector<std::string>& arguments);

extern const std::string VldataUsage;

} // namespace vl
