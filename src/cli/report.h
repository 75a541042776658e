// The end of the program on a failure: the error box and the exit codes.
#pragma once

#include <string>

#include "runtime/exceptions.h"

namespace quenlo {

enum ExitCode : int { kExitSuccess = 0, kExitFailure = 1, kExitNotPresent = 2 };

// The box text: "Exception <class> dans le module <module> à <address>.\n<message><dot>",
// the dot added when the message is not empty and does not end with one.
std::string ErrorBoxText(const Exception& failure, const std::string& module_name);

// Shows the error box for a failure that reached the top.
void ReportException(const Exception& failure);

// Made ready at start-up, so that running out of memory needs no memory to report.
void PrepareOutOfMemoryReport();
void ReportOutOfMemory();

}  // namespace quenlo
