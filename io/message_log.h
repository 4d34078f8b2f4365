// The host's handler for the library's messages. While it is installed no
// message is printed as it arrives: each text is counted, so a run that
// shows the same notice thousands of times can report it once with its
// count. A capture window records the texts shown inside it, so that a file
// the library refuses can be explained in one line.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

namespace towngrow::io {

class MessageLog {
public:
  MessageLog();   // installs the counting handler
  ~MessageLog();  // puts the previous handler back
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  // Counts per text, in the order of the texts (not of arrival).
  const std::map<std::string, long>& Counts() const { return counts_; }
  long Total() const;

  // Starts recording the texts shown from now on (clearing earlier ones).
  void BeginCapture();
  // The texts shown since BeginCapture, in arrival order.
  const std::vector<std::string>& Captured() const { return captured_; }
  // The captured texts as one line: line breaks become blanks, runs of
  // blanks shrink to one, several texts are joined with "; ".
  std::string CapturedLine() const;

  // One text as a single line (line breaks to blanks, blanks collapsed).
  static std::string OneLine(const std::string& text);

private:
  void Receive(const std::string& text);

  MessageHandler previous_;
  std::map<std::string, long> counts_;
  std::vector<std::string> captured_;
  static constexpr std::size_t kMaxCaptured = 16;
};

// Lets the handler in force take messages from worker threads: it is
// called under a lock. Puts it back on destruction.
class LockedMessages {
public:
  LockedMessages() {
    inner_ = SetMessageHandler([this](const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (inner_) inner_(text);
    });
  }
  ~LockedMessages() { SetMessageHandler(inner_); }
  LockedMessages(const LockedMessages&) = delete;
  LockedMessages& operator=(const LockedMessages&) = delete;

private:
  std::mutex mutex_;
  MessageHandler inner_;
};

}  // namespace towngrow::io
