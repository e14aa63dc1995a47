#pragma once
// Replaces the player's message box while a test runs and keeps what would have been shown.
#include <mutex>
#include <string>
#include <vector>

#include "plugin/message_box.h"

struct ShownMessage {
  std::string text;
  std::string caption;
  bool operator==(const ShownMessage& other) const {
    return text == other.text && caption == other.caption;
  }
};

class RecordedMessages {
 public:
  RecordedMessages() {
    setMessageBoxHandler([this](const std::string& text, const std::string& caption, unsigned) {
      std::lock_guard<std::mutex> lock(mutex_);
      shown_.push_back({text, caption});
      return 1;
    });
  }
  ~RecordedMessages() { setMessageBoxHandler(nullptr); }
  RecordedMessages(const RecordedMessages&) = delete;
  RecordedMessages& operator=(const RecordedMessages&) = delete;

  std::vector<ShownMessage> shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const auto& m : shown()) result.push_back(m.text);
    return result;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<ShownMessage> shown_;
};
