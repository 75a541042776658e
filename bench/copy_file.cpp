// The benchmark's yardstick: copies a file through a 4 KiB buffer, one read and
// one write system call per block, as the converters' file traffic goes.
//
//   quenlo_bench_copy SOURCE TARGET
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace quenlo {
namespace {

constexpr size_t kBlockSize = 4096;

bool WriteBlock(int fd, const char* data, size_t count) {
  while (count > 0) {
    ssize_t n = ::write(fd, data, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool CopyBlocks(int from, int to) {
  char block[kBlockSize];
  for (;;) {
    ssize_t n = ::read(from, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteBlock(to, block, static_cast<size_t>(n))) return false;
  }
}

int Run(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SOURCE TARGET\n", argv[0]);
    return 1;
  }
  int from = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  if (from < 0) {
    std::perror(argv[1]);
    return 1;
  }
  int to = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (to < 0) {
    std::perror(argv[2]);
    ::close(from);
    return 1;
  }
  bool copied = CopyBlocks(from, to);
  bool closed = ::close(to) == 0;
  ::close(from);
  if (!copied || !closed) {
    std::fprintf(stderr, "copy failed: %s -> %s\n", argv[1], argv[2]);
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace quenlo

int main(int argc, char** argv) { return quenlo::Run(argc, argv); }
