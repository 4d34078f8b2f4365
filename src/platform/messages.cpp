#include "towngrow/platform/messages.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/host_calls.h"

namespace towngrow {
namespace {

std::mutex& HandlerMutex() {
  static std::mutex m;
  return m;
}

MessageHandler& Handler() {
  static MessageHandler h;
  return h;
}

}  // namespace

MessageHandler SetMessageHandler(MessageHandler handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex());
  MessageHandler old = std::move(Handler());
  Handler() = std::move(handler);
  return old;
}

void ShowMessage(const std::string& text) {
  ++detail::t_hostCalls;  // the handler may change the set
  MessageHandler h;
  {
    std::lock_guard<std::mutex> lock(HandlerMutex());
    h = Handler();
  }
  if (h) {
    h(text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

}  // namespace towngrow
