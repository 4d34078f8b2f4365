#include "jobs/progress.h"

#include <cmath>

namespace towngrow::jobs {
namespace {

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

ProgressBar::ProgressBar(long total, bool enabled, std::FILE* out)
    : total_(total),
      enabled_(enabled),
      out_(out),
      start_(std::chrono::steady_clock::now()),
      last_(start_) {}

std::string ProgressBar::Text(long done, long total, double seconds) {
  const int width = 30;
  const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
  const int filled = static_cast<int>(share * width);
  std::string bar(static_cast<std::size_t>(filled < 0 ? 0 : filled > width ? width : filled), '#');
  bar.resize(width, '.');
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  const double left = rate > 0 ? static_cast<double>(total - done) / rate : -1.0;
  char buf[160];
  std::snprintf(buf, sizeof buf, "[%s] %ld/%ld steps  %.1f steps/s  %s left", bar.c_str(), done,
                total, rate, done >= total ? "0s" : Duration(left).c_str());
  return buf;
}

void ProgressBar::Draw(long done) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::fprintf(out_, "\r%s\x1b[K", Text(done, total_, seconds).c_str());
  std::fflush(out_);
  drawn_ = true;
}

void ProgressBar::Update(long done) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  Draw(done);
}

void ProgressBar::Finish() {
  if (!enabled_) return;
  Draw(total_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

}  // namespace towngrow::jobs
