#pragma once
// The command line of vldata.

#include "ArgumentReader.h"
#include "DataOptions.h"

#include <optional>
#include <string>
#include <vector>

namespace vl {

struct VldataOptions : DataOptions {
    std::string encoding;
    std::optional<std::string> outputFile; // none: standard output
};

ParsedCommandLine<VldataOptions> parseVldataCommandLine(const std::vector<std::string>& arguments);

extern const std::string VldataUsage;

} // namespace vl
