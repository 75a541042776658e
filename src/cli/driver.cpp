#include "cli/driver.h"

#include <exception>

#include "cli/command_line.h"
#include "cli/names.h"
#include "cli/report.h"
#include "cli/resource_form.h"
#include "cli/version.h"
#include "numtext/format.h"
#include "runtime/platform.h"
#include "runtime/streams.h"

namespace quenlo {
namespace {

std::string ProgramArgument(int argc, char** argv) {
  if (platform::kHasNativeCommandLine) return ArgumentAt(platform::NativeCommandLine(), 1);
  return argc > 1 ? std::string(argv[1]) : std::string();
}

// "--version" and "--help" answer only when no file of that name exists.
bool AnswerInformationRequest(const std::string& argument) {
  if (!platform::kAnswersInformationRequests) return false;
  if (argument == "--version") {
    for (const std::string& line : VersionLines()) platform::WriteOutputLine(line);
    return true;
  }
  if (argument == "--help") {
    for (const std::string& line : UsageLines()) platform::WriteOutputLine(line);
    return true;
  }
  return false;
}

}  // namespace

void ConvertFile(const std::string& argument) {
  TFileStream input(argument, TFileMode::fmOpenRead);
  bool resource_form = AsciiUpper(ExtensionPart(argument)) == ".DFM";
  TFileStream output(DeriveOutputName(argument, resource_form ? ".TXT" : ".DFM"),
                     TFileMode::fmCreate);
  if (resource_form) {
    ResourceFormToText(input, output);
  } else {
    TextToResourceForm(input, output);
  }
}

int RunProgram(int argc, char** argv) {
  PrepareOutOfMemoryReport();
  InitDecimalMark();
  std::string argument = ProgramArgument(argc, argv);
  if (argument.empty()) {
    platform::WriteErrorLine(UsageLines().front());
    return kExitFailure;
  }
  if (!platform::FileIsPresent(argument)) {
    if (AnswerInformationRequest(argument)) return kExitSuccess;
    platform::WriteErrorLine("Fichier introuvable : " + argument);
    return kExitNotPresent;
  }
  try {
    ConvertFile(argument);
  } catch (const Exception& failure) {
    ReportException(failure);
    return kExitFailure;
  } catch (const std::exception&) {
    // Only the library's allocation failures (bad_alloc, length_error) get here.
    ReportOutOfMemory();
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace quenlo
