// The layer's handler for the library's messages. While a MessageLog is
// alive it is the process-wide handler, and no message is printed as it
// arrives: each text is counted, so a run that shows the same notice
// thousands of times can report it once with its count. It takes messages
// from any thread (worker threads of ensembles and calibrations too).
//
// A capture window records the texts shown on the calling thread inside it,
// so that a file the library refuses can be explained in one line.
//
// Warnings of the layer itself (a start map holding IDs no land use has)
// are not library messages: they go to the warning sink the host sets
// (the program prints them, the Python module raises a Python warning).
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <towngrow/platform/messages.h>

namespace towngrow::io {

using WarningSink = std::function<void(const std::string& text)>;

class MessageLog {
public:
  // Installs the counting handler; `warn` receives the layer's warnings
  // (none: they are dropped).
  explicit MessageLog(WarningSink warn = {});
  ~MessageLog();  // puts the previous handler back
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  // Counts per text, in the order of the texts (not of arrival).
  std::map<std::string, long> Counts() const;
  long Total() const;

  // Starts recording the texts this thread shows from now on (clearing
  // what it recorded before).
  void BeginCapture();
  // The texts this thread showed since BeginCapture, in arrival order.
  std::vector<std::string> Captured() const;
  // The captured texts as one line: line breaks become blanks, runs of
  // blanks shrink to one, several texts are joined with "; ".
  std::string CapturedLine() const;

  // A warning of the layer, to the sink.
  void Warn(const std::string& text) const;

  // One text as a single line (line breaks to blanks, blanks collapsed).
  static std::string OneLine(const std::string& text);

private:
  void Receive(const std::string& text);

  MessageHandler previous_;
  WarningSink warn_;
  mutable std::mutex mutex_;
  std::map<std::string, long> counts_;
  std::map<std::thread::id, std::vector<std::string>> captured_;  // threads capturing
  static constexpr std::size_t kMaxCaptured = 16;
};

}  // namespace towngrow::io
