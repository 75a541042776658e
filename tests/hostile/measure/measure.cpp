// Runs a program and reports how it ended, how long it took and the most
// memory it held, as /usr/bin/time -v does. Being a small process of its own,
// it starts the program without the memory of the test that asked for it,
// which a forked child would otherwise count as its own.
//   hostile_measure ADDRESS_SPACE_LIMIT TIME_LIMIT PROGRAM [ARGUMENT...]
// prints "exit signal hung seconds peak_kib" on standard output; the
// program's standard error goes through.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
  if (argc < 4) return 127;
  const unsigned long long limit = std::strtoull(argv[1], nullptr, 10);
  const double time_limit = std::strtod(argv[2], nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (limit != 0) {
      struct rlimit address_space = {limit, limit};
      setrlimit(RLIMIT_AS, &address_space);
    }
    execv(argv[3], argv + 3);
    _exit(127);
  }
  int status = 0;
  struct rusage usage = {};
  bool hung = false;
  for (;;) {
    const pid_t done = wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (done < 0) return 127;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed.count() > time_limit && !hung) {
      hung = true;
      kill(pid, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%d %d %d %.6f %ld\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1,
              WIFSIGNALED(status) ? WTERMSIG(status) : 0, hung ? 1 : 0, elapsed.count(),
              usage.ru_maxrss);
  return 0;
}
