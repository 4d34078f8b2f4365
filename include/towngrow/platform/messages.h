// Messages of the library. Every notice the model shows (exhausted memory,
// refused files, changed settings) goes to one process-wide handler, once,
// with its exact text; the library then carries on. The default handler
// writes the text and a line feed to standard error.
#pragma once

#include <functional>
#include <string>

namespace towngrow {

using MessageHandler = std::function<void(const std::string& text)>;

// Installs a handler and returns the one it replaces. An empty handler
// restores the default.
MessageHandler SetMessageHandler(MessageHandler handler);

// Shows a message through the installed handler. Used by the library; a
// host may call it too.
void ShowMessage(const std::string& text);

}  // namespace towngrow
