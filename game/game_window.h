#pragma once
// The game's main window: a real top-level window whose procedure records every message it
// receives and keeps the key and mouse state the game reads each frame.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "game/standin_types.h"

namespace Standin {

class GameWindow {
 public:
  // One per process. `onMessage` sees each message the game's procedure receives.
  GameWindow(int width, int height, std::function<void(const WindowMessage&)> onMessage);
  ~GameWindow();
  GameWindow(const GameWindow&) = delete;
  GameWindow& operator=(const GameWindow&) = delete;

  HWND handle() const { return window_; }
  static WNDPROC procedure();
  // Dispatches every message waiting in the queue of the calling thread.
  void pump();

  bool keyDown(int virtualKey) const { return keys_[virtualKey & 0xFF]; }
  std::uint32_t buttons() const { return buttons_; }
  std::int16_t mouseX() const { return mouseX_; }
  std::int16_t mouseY() const { return mouseY_; }

  std::vector<WindowMessage> messages() const;
  void clearMessages();

 private:
  static LRESULT CALLBACK windowProcedure(HWND, UINT, WPARAM, LPARAM);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  std::function<void(const WindowMessage&)> onMessage_;
  bool keys_[256] = {};
  std::uint32_t buttons_ = 0;
  std::int16_t mouseX_ = 0;
  std::int16_t mouseY_ = 0;
  mutable std::mutex mutex_;
  std::vector<WindowMessage> messages_;
};

}  // namespace Standin
