#pragma once
// Whole files as bytes for the tests: what a missing file reads as is empty.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vl::test
{

inline std::string readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace vl::test
