#pragma once
// The command line of vldata.

#include <optional>
#include <string>
#include <vector>

namespace vl {

struct DetailOption {
    std::string id;
    std::string sql;
    std::string relation;
    std::string fields;
};

struct VldataOptions {
    std::optional<std::string> connection; // none: the program's own connection string
    std::string encoding;
    std::optional<std::string> masterSql;
    std::string masterFields;
    std::vector<DetailOption> details;
    std::optional<std::string> outputFile; // none: standard output
    bool help = false;
    bool version = false;
};

struct ParsedCommandLine {
    VldataOptions options;
    std::string error; // empty when the command line is good
};

ParsedCommandLine parseVldataCommandLine(const std::vector<std::string>& arguments);

extern const char* const VldataUsage;

} // namespace vl
