// Child processes of the tests: a forked piece of a test whose address space may grow by a set
// number of bytes only (memory really runs out), and shell commands with their status and output.
// TOWNGROW_ASAN: under AddressSanitizer, which refuses huge allocations and clashes with limits.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define TOWNGROW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOWNGROW_ASAN 1
#endif
#endif

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "support/files.h"

namespace testkit {

// True when the program runs under valgrind, whose allocator gives up
// instead of answering null and which makes large inputs very slow.
inline bool UnderValgrind() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "vgpreload") != nullptr;
}

// Virtual size of this process in bytes, from /proc/self/status; -1 when it cannot be read.
inline long long VirtualSize() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmSize:", 0) == 0) return std::atoll(line.c_str() + 7) * 1024;
  return -1;
}

// Runs `body` (returning std::string) in a child whose address space may grow by `headroom` bytes
// at most; answers what the body returned, or a text starting "child:" when the child did not end
// normally (an allocation that failed and threw, for instance).
template <class F>
std::string InChildWithHeadroom(long long headroom, F body) {
  int fds[2];
  if (pipe(fds) != 0) return "child: no pipe";
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const long long base = VirtualSize();
    rlimit lim{};
    lim.rlim_cur = lim.rlim_max = static_cast<rlim_t>(base + headroom);
    const std::string out =
        base < 0 || setrlimit(RLIMIT_AS, &lim) != 0 ? std::string("child: no limit") : body();
    const ssize_t n = write(fds[1], out.data(), out.size());
    _exit(n == static_cast<ssize_t>(out.size()) ? 0 : 1);
  }
  close(fds[1]);
  std::string got;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "child: ended abnormally, status " + std::to_string(status);
  return got;
}

struct Result {
  int code = -1;  // exit status, -1 when the command did not exit
  std::string out, err;
};

// Runs a shell command with no input; its output goes through files in `dir`.
inline Result RunShell(const std::string& cmd, const std::string& dir) {
  const std::string out = dir + "/stdout.txt", err = dir + "/stderr.txt";
  const int status = std::system((cmd + " >'" + out + "' 2>'" + err + "' </dev/null").c_str());
  Result r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = ReadAll(out);
  r.err = ReadAll(err);
  return r;
}

}  // namespace testkit
