// Timing for benchmarks that run an old and a new way in turn in one
// process: wall and processor time of the process (which runs one thread
// there), in milliseconds, and the best of the iterations.
#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>

struct Times {
  double wall, cpu;
  static Times Now() {
    using Clock = std::chrono::steady_clock;
    return {std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(),
            1e3 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC};
  }
  Times operator-(const Times& o) const { return {wall - o.wall, cpu - o.cpu}; }
  // The better of two runs, each figure on its own.
  void KeepBest(const Times& o, bool first) {
    wall = first ? o.wall : std::min(wall, o.wall);
    cpu = first ? o.cpu : std::min(cpu, o.cpu);
  }
};
