#include "cli/progress.h"

#include <algorithm>
#include <cmath>

namespace towngrow::cli {
namespace {

// "42s", "12m05s", "3h20m"; "?" before the rate is known.
std::string Duration(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return "?";
  const long s = static_cast<long>(seconds + 0.5);
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%ldh%02ldm", s / 3600, (s / 60) % 60);
  else if (s >= 60)
    std::snprintf(buf, sizeof buf, "%ldm%02lds", s / 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%lds", s);
  return buf;
}

}  // namespace

ProgressBar::ProgressBar(bool enabled, std::FILE* out)
    : enabled_(enabled), out_(out), start_(std::chrono::steady_clock::now()), last_(start_) {}

std::string ProgressBar::Text(const jobs::ProgressReport& r, double seconds) {
  if (r.total <= 0) return r.note + "...";
  const int width = 30;
  const long filled = r.done * width / r.total;
  std::string bar(static_cast<std::size_t>(std::clamp<long>(filled, 0, width)), '#');
  bar.resize(width, '.');
  const double rate = seconds > 0 ? static_cast<double>(r.done) / seconds : 0.0;
  const double left = rate > 0 ? static_cast<double>(r.total - r.done) / rate : -1.0;
  char buf[200];
  std::snprintf(buf, sizeof buf, "[%s] %ld/%ld %s  %.1f %s/s  %s left", bar.c_str(), r.done,
                r.total, r.unit.c_str(), rate, r.unit.c_str(),
                r.done >= r.total ? "0s" : Duration(left).c_str());
  return r.note.empty() ? std::string(buf) : std::string(buf) + "  " + r.note;
}

void ProgressBar::Update(const jobs::ProgressReport& r) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  const bool restart = r.done < shown_.done || r.total != shown_.total || r.note != shown_.note;
  if (restart && r.done == 0) start_ = now;
  if (drawn_ && !restart && r.done < r.total && now - last_ < std::chrono::milliseconds(100))
    return;
  last_ = now;
  shown_ = r;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::fprintf(out_, "\r%s\x1b[K", Text(r, seconds).c_str());
  std::fflush(out_);
  drawn_ = true;
}

void ProgressBar::Finish(bool clear) {
  if (!enabled_ || !drawn_) return;
  std::fputs(clear ? "\r\x1b[K" : "\n", out_);
  std::fflush(out_);
  drawn_ = false;
}

jobs::Progress ProgressBar::Hook() {
  if (!enabled_) return {};
  return [this](const jobs::ProgressReport& r) { Update(r); };
}

}  // namespace towngrow::cli
