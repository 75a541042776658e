#include "cli/report.h"

#include "runtime/platform.h"

namespace quenlo {
namespace {

struct OutOfMemoryReport {
  EOutOfMemory failure;
  std::string title;
  std::string text;
};

const OutOfMemoryReport* out_of_memory_report = nullptr;

}  // namespace

std::string ErrorBoxText(const Exception& failure, const std::string& module_name) {
  const std::string& message = failure.Message();
  const char* dot = !message.empty() && message.back() != '.' ? "." : "";
  return FormatTextUnlimited(
      LoadMessage(MessageId::kExceptionBox),
      {failure.ClassName(), module_name, FormatArg::Address(failure.Address()), message, dot});
}

void ReportException(const Exception& failure) {
  platform::ShowErrorBox(LoadMessage(MessageId::kApplicationError),
                         ErrorBoxText(failure, platform::ModuleName()));
}

void PrepareOutOfMemoryReport() {
  if (out_of_memory_report != nullptr) return;
  auto* report = new OutOfMemoryReport{EOutOfMemory(LoadMessage(MessageId::kOutOfMemory)),
                                       LoadMessage(MessageId::kApplicationError),
                                       {}};
  report->text = ErrorBoxText(report->failure, platform::ModuleName());
  out_of_memory_report = report;
}

void ReportOutOfMemory() {
  if (out_of_memory_report == nullptr) return;
  platform::ShowErrorBox(out_of_memory_report->title, out_of_memory_report->text);
}

}  // namespace quenlo
