#pragma once
// The Jet file format of the provider "Microsoft.Jet.OLEDB.4.0": Jet 3, Jet 4 and ACE files read
// read-only with mdbtools' libmdb. The file is read into memory and its pages are checked before
// libmdb sees them. Commands are SQLite's SQL (after JetDialect.h's rewriting of TOP n) over the
// file's tables as virtual tables (MdbVirtualTable_p.h); a column read straight from a table keeps
// the provider's description and its exact value (amounts as ten-thousandths, dates as day numbers,
// texts from UCS-2 and its compressed form, long values whole).

#include "Provider.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vl
{

// How much one command may do: SQLite's virtual-machine steps (a runaway recursive query or cross
// join ends here) and rows of the result (what the data layer holds). A command beyond either is
// refused with EOleException, and the connection reads on.
struct JetCommandLimits {
    uint64_t maxSteps = 400'000'000;
    std::size_t maxRows = 20'000'000;
};

// Opens the file at path (already known to carry a Jet or ACE header). Raises EOleException: what
// DatabaseFile refuses (not a regular file, a symbolic link loop) without blocking,
// "The file '%s' is damaged: %s" for a truncated or malformed file, "... is encrypted ..." for an
// encrypted one; never crashes on a damaged file. A command raises EOleException with SQLite's
// message and position, or the damage met while reading.
std::unique_ptr<ProviderConnection> openJetDatabase(const std::string& path);

// Same, over bytes already in memory (name is used in messages only).
std::unique_ptr<ProviderConnection> openJetDatabaseBytes(
    std::string bytes, const std::string& name, const JetCommandLimits& limits = {});

} // namespace vl
