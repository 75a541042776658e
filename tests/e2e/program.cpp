#include "e2e/program.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace quenlo::e2e {

ScratchFolder::ScratchFolder() {
  std::string pattern = testing::TempDir() + "quenlo-e2e-XXXXXX";
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) std::abort();
  path_ = made;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScratchFolder::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream(*this / name, std::ios::binary) << bytes;
}

std::string ScratchFolder::Read(const std::string& name) const {
  std::ifstream in(*this / name, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

bool ScratchFolder::Exists(const std::string& name) const {
  return std::filesystem::exists(std::filesystem::symlink_status(*this / name));
}

Outcome RunQuenlo(const ScratchFolder& folder, const std::vector<std::string>& arguments,
                  size_t address_space_limit) {
  const std::string out_name = folder.path() + "/.stdout";
  const std::string err_name = folder.path() + "/.stderr";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.path().c_str()) != 0) _exit(127);
    if (address_space_limit != 0) {
      struct rlimit limit = {address_space_limit, address_space_limit};
      setrlimit(RLIMIT_AS, &limit);
    }
    int out = open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    std::vector<char*> argv;
    std::string program = QUENLO_EXECUTABLE;
    argv.push_back(program.data());
    std::vector<std::string> copies(arguments);
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome outcome;
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  outcome.out = folder.Read(".stdout");
  outcome.err = folder.Read(".stderr");
  std::filesystem::remove(out_name);
  std::filesystem::remove(err_name);
  return outcome;
}

std::string MaskAddress(const std::string& err) {
  static const std::regex address(" \xC3\xA0 [0-9A-F]{8}\\.");
  return std::regex_replace(err, address, " \xC3\xA0 XXXXXXXX.");
}

LockFromAnotherProcess::LockFromAnotherProcess(const std::string& path) {
  int ready[2], release[2];
  if (pipe(ready) != 0 || pipe(release) != 0) std::abort();
  pid_ = fork();
  if (pid_ == 0) {
    close(ready[0]);
    close(release[1]);
    int fd = open(path.c_str(), O_RDONLY);
    char ok = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 1 : 0;
    if (write(ready[1], &ok, 1) != 1) _exit(1);
    char ignored;
    while (read(release[0], &ignored, 1) > 0) {
    }
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  release_fd_ = release[1];
  char ok = 0;
  if (read(ready[0], &ok, 1) != 1 || ok != 1) ADD_FAILURE() << "could not lock " << path;
  close(ready[0]);
}

LockFromAnotherProcess::~LockFromAnotherProcess() {
  close(release_fd_);
  waitpid(pid_, nullptr, 0);
}

}  // namespace quenlo::e2e
