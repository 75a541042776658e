// POSIX stand-ins for the Windows services: flock for no-sharing opens, stat
// for the existence test, standard error for the error box.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <string_view>

#include "runtime/platform.h"

namespace quenlo::platform {
namespace {

// An exclusive, non-blocking lock stands for share mode 0: a file another
// process holds this way fails to open, as a file held open would.
bool LockExclusively(int fd) {
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

FileHandle OpenLocked(const std::string& name, int flags) {
  int fd;
  do {
    fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kInvalidHandle;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || !LockExclusively(fd)) {
    ::close(fd);
    return kInvalidHandle;
  }
  return fd;
}

void WriteAllTo(int fd, std::string_view text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace

const bool kMessagesAreUtf8 = true;

std::string MessageText(const char* utf8) { return utf8; }

FileHandle OpenFileForReading(const std::string& name) { return OpenLocked(name, O_RDONLY); }

FileHandle CreateFileForWriting(const std::string& name) {
  // Truncate only once the lock is held, so a file in use is left intact.
  FileHandle fd = OpenLocked(name, O_RDWR | O_CREAT);
  if (fd == kInvalidHandle) return kInvalidHandle;
  struct stat info;
  // Devices (a terminal, /dev/full) and empty files have nothing to truncate;
  // truncating a new file would make its close wait for the disk.
  bool has_data =
      fstat(static_cast<int>(fd), &info) == 0 && S_ISREG(info.st_mode) && info.st_size != 0;
  if (has_data && ftruncate(static_cast<int>(fd), 0) != 0) {
    ::close(static_cast<int>(fd));
    return kInvalidHandle;
  }
  return fd;
}

int32_t ReadFile(FileHandle file, void* buffer, int32_t count) {
  if (count <= 0) return 0;
  auto* p = static_cast<char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::read(static_cast<int>(file), p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 0;
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t WriteFile(FileHandle file, const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const auto* p = static_cast<const char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::write(static_cast<int>(file), p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t SeekFile(FileHandle file, int32_t offset, int32_t origin) {
  int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  off_t position = ::lseek(static_cast<int>(file), offset, whence);
  return static_cast<int32_t>(position);
}

void CloseFile(FileHandle file) {
  if (file != kInvalidHandle) ::close(static_cast<int>(file));
}

bool FileIsPresent(const std::string& name) {
  struct stat info;
  return !name.empty() && ::stat(name.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::string ModuleName() {
  char path[4096];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  std::string full = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string("quenlo");
  std::string name = full.substr(full.find_last_of('/') + 1);
  return name.substr(0, 63);
}

// Written in pieces: reporting an exhausted memory must not need any.
void ShowErrorBox(const std::string& title, const std::string& text) {
  WriteAllTo(STDERR_FILENO, title);
  WriteAllTo(STDERR_FILENO, "\n");
  WriteAllTo(STDERR_FILENO, text);
  WriteAllTo(STDERR_FILENO, "\n");
}

void WriteErrorLine(const std::string& line) {
  WriteAllTo(STDERR_FILENO, line);
  WriteAllTo(STDERR_FILENO, "\n");
}

void WriteOutputLine(const std::string& line) {
  WriteAllTo(STDOUT_FILENO, line);
  WriteAllTo(STDOUT_FILENO, "\n");
}

char LocaleDecimalSeparator() {
  std::setlocale(LC_NUMERIC, "");
  const struct lconv* conventions = std::localeconv();
  char mark = conventions != nullptr && conventions->decimal_point != nullptr
                  ? conventions->decimal_point[0]
                  : '\0';
  // The converters format and parse themselves; C library numbers stay neutral.
  std::setlocale(LC_NUMERIC, "C");
  return mark != '\0' ? mark : '.';
}

}  // namespace quenlo::platform

namespace quenlo::platform {

const bool kHasNativeCommandLine = false;
const bool kAnswersInformationRequests = true;

std::string NativeCommandLine() { return {}; }

}  // namespace quenlo::platform
