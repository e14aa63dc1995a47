#pragma once
// Keeps message boxes from blocking an unattended run: a thread looks for dialog windows
// (class "#32770") of this process, reports their caption and text, and presses their first
// button.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace Standin {

class MessageBoxWatcher {
 public:
  using Report = std::function<void(const std::string& caption, const std::string& text)>;
  explicit MessageBoxWatcher(Report report);
  ~MessageBoxWatcher();
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

  // Looks once (the thread does this every few milliseconds); returns how many it closed.
  int sweep();

 private:
  Report report_;
  std::mutex sweepMutex_;
  std::set<HWND> handled_;  // boxes already pressed: one that takes a while to go is reported once
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace Standin
