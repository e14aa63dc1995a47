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

#ifdef _WIN32
// Texts are UTF-8 (file names come from the listing as UTF-8): shown through the wide API.
std::wstring wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring converted(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), converted.data(), length);
  return converted;
}
#endif

int systemMessageBox(const std::string& text, const std::string& caption, unsigned type) {
#ifdef _WIN32
  // The owner is read at this moment: the game may have recreated its window.
  HWND owner = Host::at<HWND>(Host::MainWindow);
  return MessageBoxW(owner, wide(text).c_str(), wide(caption).c_str(), type);
#else
  // Native builds have no game window; the message still reaches whoever runs them.
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return 1;
#endif
}

// The text cut after MaxLinesInBox lines, its last line counting what was cut.
std::string cutToLines(const std::string& text, std::string_view logFile) {
  std::vector<std::string> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (lines.size() <= MaxLinesInBox) return text;
  std::string cut;
  for (std::size_t i = 0; i + 1 < MaxLinesInBox; ++i) cut += lines[i] + "\n";
  return cut + "... and " + std::to_string(lines.size() - (MaxLinesInBox - 1)) +
         " more lines, all in the log " + std::string(logFile);
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

std::vector<DeferredMessageBoxes::Message> boxesShownAtStart(
    const std::vector<DeferredMessageBoxes::Message>& problems, std::string_view logFile) {
  std::vector<DeferredMessageBoxes::Message> shown;
  const bool tooMany = problems.size() > MaxBoxesAtStart;
  const std::size_t inFull = tooMany ? MaxBoxesAtStart - 1 : problems.size();
  for (std::size_t i = 0; i < inFull; ++i)
    shown.push_back({cutToLines(problems[i].text, logFile), problems[i].caption, problems[i].type});
  if (tooMany)
    shown.push_back({std::to_string(problems.size() - inFull) +
                         " more files of the animation folder have problems. Every problem is "
                         "written in the log " + std::string(logFile) + " in the game's folder.",
                     "Velquor: more problems", 0});
  return shown;
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
