#pragma once
// The text folder with limits of the caller's choosing (the tests' small ones). Private to the
// data layer and its tests.

#include "CsvReader_p.h"
#include "TextFolder.h"

namespace vl
{

std::unique_ptr<ProviderConnection> openTextFolder(
    const std::string& folder, std::string_view extendedProperties, const TextLimits& limits);

} // namespace vl
