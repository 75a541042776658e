#include "hostile/measured_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace quenlo::hostile {

MeasuredOutcome RunMeasured(const e2e::ScratchFolder& folder,
                            const std::vector<std::string>& arguments, size_t address_space_limit,
                            double time_limit) {
  const std::string report_name = folder.path() + "/.measure";
  const std::string err_name = folder.path() + "/.stderr";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.path().c_str()) != 0) _exit(127);
    const int report = open(report_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(report, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    std::vector<std::string> words = {QUENLO_MEASURE, std::to_string(address_space_limit),
                                      std::to_string(time_limit), QUENLO_EXECUTABLE};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  MeasuredOutcome outcome;
  std::istringstream report(folder.Read(".measure"));
  int exit_code = -1;
  int signal = 0;
  int hung = 0;
  long peak_kib = 0;
  report >> exit_code >> signal >> hung >> outcome.seconds >> peak_kib;
  outcome.killed_by_signal = signal != 0;
  outcome.exit_code = signal != 0 ? 128 + signal : exit_code;
  outcome.hung = hung != 0;
  outcome.peak_memory = static_cast<size_t>(peak_kib) * 1024;
  outcome.err = folder.Read(".stderr");
  std::filesystem::remove(report_name);
  std::filesystem::remove(err_name);
  return outcome;
}

}  // namespace quenlo::hostile
