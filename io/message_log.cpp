#include "io/message_log.h"

#include <utility>

namespace towngrow::io {

MessageLog::MessageLog(WarningSink warn) : warn_(std::move(warn)) {
  previous_ = SetMessageHandler([this](const std::string& text) { Receive(text); });
}

MessageLog::~MessageLog() { SetMessageHandler(std::move(previous_)); }

std::map<std::string, long> MessageLog::Counts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

long MessageLog::Total() const {
  long total = 0;
  for (const auto& entry : Counts()) total += entry.second;
  return total;
}

void MessageLog::BeginCapture() {
  std::lock_guard<std::mutex> lock(mutex_);
  captured_[std::this_thread::get_id()].clear();
}

std::vector<std::string> MessageLog::Captured() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = captured_.find(std::this_thread::get_id());
  return it == captured_.end() ? std::vector<std::string>() : it->second;
}

void MessageLog::Warn(const std::string& text) const {
  if (warn_) warn_(text);
}

void MessageLog::Receive(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++counts_[text];
  const auto it = captured_.find(std::this_thread::get_id());
  if (it != captured_.end() && it->second.size() < kMaxCaptured) it->second.push_back(text);
}

std::string MessageLog::OneLine(const std::string& text) {
  std::string out;
  bool blank = false;
  for (char ch : text) {
    const bool space = ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t';
    if (space) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += ch;
  }
  return out;
}

std::string MessageLog::CapturedLine() const {
  std::string line;
  for (const auto& text : Captured()) {
    const std::string one = OneLine(text);
    if (one.empty() || line.find(one) != std::string::npos) continue;
    if (!line.empty()) line += "; ";
    line += one;
  }
  return line;
}

}  // namespace towngrow::io
