#include "game/message_box_watcher.h"

#include <vector>

namespace Standin {

namespace {

constexpr DWORD PollMilliseconds = 15;

// UTF-8, whatever the system's code page: a box may name a file in any script.
std::string windowText(HWND window) {
  wchar_t wide[4096] = {};
  GetWindowTextW(window, wide, 4096);
  char buffer[4 * 4096] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, buffer, sizeof buffer, nullptr, nullptr);
  return buffer;
}

std::string className(HWND window) {
  char buffer[64] = {};
  GetClassNameA(window, buffer, sizeof buffer);
  return buffer;
}

struct Children {
  std::string text;        // the longest static text (the icon is a static without text)
  HWND firstButton = nullptr;
};

BOOL CALLBACK visitChild(HWND child, LPARAM parameter) {
  auto* children = reinterpret_cast<Children*>(parameter);
  const std::string kind = className(child);
  if (_stricmp(kind.c_str(), "Static") == 0) {
    std::string text = windowText(child);
    if (text.size() > children->text.size()) children->text = text;
  } else if (_stricmp(kind.c_str(), "Button") == 0 && !children->firstButton) {
    children->firstButton = child;
  }
  return TRUE;
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher(Report report) : report_(std::move(report)) {
  thread_ = std::thread([this] {
    while (!stop_.load()) {
      sweep();
      Sleep(PollMilliseconds);
    }
  });
}

MessageBoxWatcher::~MessageBoxWatcher() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

int MessageBoxWatcher::sweep() {
  const DWORD self = GetCurrentProcessId();
  std::vector<HWND> boxes;
  for (HWND dialog = FindWindowExA(nullptr, nullptr, "#32770", nullptr); dialog;
       dialog = FindWindowExA(nullptr, dialog, "#32770", nullptr)) {
    DWORD process = 0;
    GetWindowThreadProcessId(dialog, &process);
    if (process == self && IsWindowVisible(dialog)) boxes.push_back(dialog);
  }

  std::lock_guard<std::mutex> lock(sweepMutex_);
  for (auto it = handled_.begin(); it != handled_.end();) it = IsWindow(*it) ? std::next(it) : handled_.erase(it);
  int closed = 0;
  for (HWND box : boxes) {
    if (handled_.count(box)) continue;
    Children children;
    EnumChildWindows(box, visitChild, reinterpret_cast<LPARAM>(&children));
    handled_.insert(box);
    report_(windowText(box), children.text);
    if (children.firstButton)
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(children.firstButton), BN_CLICKED),
                   reinterpret_cast<LPARAM>(children.firstButton));
    else
      PostMessageA(box, WM_CLOSE, 0, 0);
    ++closed;
  }
  return closed;
}

}  // namespace Standin
