#pragma once
// What the targets that feed the template and data-document readers check of every outcome.

#include "ReportXml.h"

#include <cstdlib>

namespace fuzz {

// True when the reader accepted the input; false after a refusal that says why and left the reader's
// output as it was (outputUntouched). Any other refusal aborts, as a finding.
inline bool accepted(const vl::ParseResult& result, bool outputUntouched)
{
    if (result.ok)
        return true;
    if (result.message.isEmpty() || !outputUntouched)
        std::abort();
    return false;
}

} // namespace fuzz
