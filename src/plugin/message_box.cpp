#include "plugin/message_box.h"

#include <cstdio>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include "host/host.h"
#endif

namespace {

thread_local DeferredMessageBoxes* deferredOnThisThread = nullptr;

std::vector<DeferredMessageBoxes::Message>& keptForGameLoop() {
  static std::vector<DeferredMessageBoxes::Message> kept;
  return kept;
}

MessageBoxHandler& handler() {
  static MessageBoxHandler replaced;
  return replaced;
}

int systemMessageBox(const std::string& text, const std::string& caption, unsigned type) {
#ifdef _WIN32
  // The owner is read at this moment: the game may have recreated its window.
  HWND owner = Host::at<HWND>(Host::MainWindow);
  return MessageBoxA(owner, text.c_str(), caption.c_str(), type);
#else
  // Native builds have no game window; the message still reaches whoever runs them.
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return 1;
#endif
}

}  // namespace

DeferredMessageBoxes::DeferredMessageBoxes() : outer_(deferredOnThisThread) {
  deferredOnThisThread = this;
}

DeferredMessageBoxes::~DeferredMessageBoxes() { deferredOnThisThread = outer_; }

std::vector<DeferredMessageBoxes::Message> DeferredMessageBoxes::take() {
  return std::move(kept_);
}

void showMessageBoxes(const std::vector<DeferredMessageBoxes::Message>& messages) {
  for (const auto& message : messages) messageBox(message.text, message.caption, message.type);
}

int messageBox(const std::string& text, const std::string& caption, unsigned type) {
  if (DeferredMessageBoxes* deferred = deferredOnThisThread) {
    deferred->kept_.push_back({text, caption, type});
    return 1;  // IDOK
  }
  if (handler()) return handler()(text, caption, type);
  return systemMessageBox(text, caption, type);
}

void messageBoxFromGameLoop(const std::string& text, const std::string& caption) {
  keptForGameLoop().push_back({text, caption, 0});
}

void showGameLoopMessageBoxes() {
  if (keptForGameLoop().empty()) return;
  std::vector<DeferredMessageBoxes::Message> messages;
  messages.swap(keptForGameLoop());  // a box may run the game loop again while it is open
  showMessageBoxes(messages);
}

void setMessageBoxHandler(MessageBoxHandler replacement) { handler() = std::move(replacement); }
