// Running the built executable in a scratch folder, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace quenlo::e2e {

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// A fresh folder under the test temporary directory, removed at destruction.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;

 private:
  std::string path_;
};

// Runs the program with these arguments, the folder being the working directory;
// with address_space_limit, the program gets at most that many bytes of address space.
Outcome RunQuenlo(const ScratchFolder& folder, const std::vector<std::string>& arguments,
                  size_t address_space_limit = 0);

// The error output with the failure address replaced by XXXXXXXX.
std::string MaskAddress(const std::string& err);

// Holds an exclusive lock on a file from another process while it lives.
class LockFromAnotherProcess {
 public:
  explicit LockFromAnotherProcess(const std::string& path);
  ~LockFromAnotherProcess();

 private:
  int pid_ = -1;
  int release_fd_ = -1;
};

}  // namespace quenlo::e2e
