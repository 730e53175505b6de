#pragma once
// The tools' tests run in a folder laid out as a user's: the sample database as test.mdb beside a
// sample template.

#include <filesystem>
#include <string>

namespace vl::test {

// Copies the sample database, samples/<templateName> and the logo it shows into folder.
inline void copySample(const std::string& folder, const std::string& templateName)
{
    std::filesystem::copy_file(VL_RUN_DIR "/test.mdb", folder + "/test.mdb");
    std::filesystem::copy_file(VL_SOURCE_DIR "/samples/" + templateName, folder + "/" + templateName);
    std::filesystem::copy_file(VL_SOURCE_DIR "/samples/logo.svg", folder + "/logo.svg");
}

} // namespace vl::test
