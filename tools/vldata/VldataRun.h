#pragma once
// The work of vldata once its command line is read.

#include "CommandLine.h"

namespace vl {

// Opens the output file first (refusing one that is the database itself), then the connection, the
// master and the details (in that order, as the window opens its data sets), and writes the document
// to standard output or the file. A failure raises the exception the program would show; standard
// output then holds nothing and an existing file is left as it was (see OutputFile for devices and
// FIFOs, which are written in place).
void runVldata(const VldataOptions& options);

} // namespace vl
