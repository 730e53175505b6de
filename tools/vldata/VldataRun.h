#pragma once
// The work of vldata once its command line is read.

#include "CommandLine.h"

namespace vl {

// Opens the connection, the master and the details (in that order, as the window opens its
// data sets), then writes the document to standard output or the file. A failure raises the
// exception the program would show; a half-written file is removed first.
void runVldata(const VldataOptions& options);

} // namespace vl
