// vljet: builds a Jet 4 database file from an SQL script, the way the sample test.mdb is made.
// Usage: vljet SCRIPT.sql OUTPUT.mdb

#include "JetWriter.h"
#include "ScriptImport.h"
#include "Startup.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    // The start every entry point shares: the script's texts are read in the locale's code page.
    const vl::ProgramStart start;
    if (argc != 3) {
        std::fputs("usage: vljet SCRIPT.sql OUTPUT.mdb\n", stderr);
        return 2;
    }
    const std::string output = argv[2];
    try {
        const auto tables = vl::importSqlScript(argv[1], output + ".script.tmp");
        vl::jet::writeDatabaseFile(output, tables);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vljet: %s\n", e.what());
        return 1;
    }
}
