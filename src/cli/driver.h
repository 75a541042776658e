// The program's main sequence: one argument, one conversion, one exit code.
#pragma once

#include <string>

namespace quenlo {

// Converts the file named by the first argument: a .DFM (any letter case)
// becomes text beside it, anything else becomes a .DFM. Returns the exit code.
int RunProgram(int argc, char** argv);

// Opens the input, derives and creates the output and runs the conversion the
// extension selects. Failures are raised, after both files are closed.
void ConvertFile(const std::string& argument);

}  // namespace quenlo
