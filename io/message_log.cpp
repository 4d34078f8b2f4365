#include "io/message_log.h"

#include <utility>

namespace towngrow::io {

MessageLog::MessageLog() {
  previous_ = SetMessageHandler([this](const std::string& text) { Receive(text); });
}

MessageLog::~MessageLog() { SetMessageHandler(std::move(previous_)); }

long MessageLog::Total() const {
  long total = 0;
  for (const auto& entry : counts_) total += entry.second;
  return total;
}

void MessageLog::BeginCapture() { captured_.clear(); }

void MessageLog::Receive(const std::string& text) {
  ++counts_[text];
  if (captured_.size() < kMaxCaptured) captured_.push_back(text);
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
  for (const auto& text : captured_) {
    const std::string one = OneLine(text);
    if (one.empty() || line.find(one) != std::string::npos) continue;
    if (!line.empty()) line += "; ";
    line += one;
  }
  return line;
}

}  // namespace towngrow::io
