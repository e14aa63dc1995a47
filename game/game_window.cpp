#include "game/game_window.h"

#include <stdexcept>
#include <string>

namespace Standin {

namespace {

GameWindow* theWindow = nullptr;
constexpr const char* ClassName = "VelquorStandinGame";
constexpr int WindowAttempts = 20;
constexpr DWORD WindowRetryMilliseconds = 500;

}  // namespace

WNDPROC GameWindow::procedure() { return &GameWindow::windowProcedure; }

GameWindow::GameWindow(int width, int height, std::function<void(const WindowMessage&)> onMessage)
    : onMessage_(std::move(onMessage)) {
  WNDCLASSA windowClass{};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = &GameWindow::windowProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = nullptr;  // the game draws its own cursor
  windowClass.lpszClassName = ClassName;
  RegisterClassA(&windowClass);

  RECT rect{0, 0, width, height};
  const DWORD style = WS_OVERLAPPEDWINDOW;
  AdjustWindowRect(&rect, style, FALSE);
  theWindow = this;
  // Wine's desktop process may still be bound to the X display of an earlier run that has gone;
  // it is replaced within moments, so creation is retried for a while before giving up.
  for (int attempt = 0; attempt < WindowAttempts && !window_; ++attempt) {
    if (attempt) Sleep(WindowRetryMilliseconds);
    window_ = CreateWindowExA(0, ClassName, "Velquor stand-in game", style, 0, 0, rect.right - rect.left,
                              rect.bottom - rect.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  if (!window_) {
    const DWORD error = GetLastError();
    theWindow = nullptr;
    // Wine fails without an error code when it has no usable display.
    if (error == 0)
      throw std::runtime_error(
          "cannot create the game window: no display was usable (run under an X server such as "
          "xvfb-run, and let a Wine server started under another display end first: wineserver -w)");
    throw std::runtime_error("cannot create the game window (error " + std::to_string(error) + ")");
  }
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
}

GameWindow::~GameWindow() {
  if (window_) DestroyWindow(window_);
  theWindow = nullptr;
}

void GameWindow::pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

std::vector<WindowMessage> GameWindow::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

void GameWindow::clearMessages() {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.clear();
}

LRESULT CALLBACK GameWindow::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (theWindow && !theWindow->window_) theWindow->window_ = window;  // messages of CreateWindowEx
  if (theWindow && theWindow->window_ == window) return theWindow->handle(message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT GameWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  WindowMessage record{message, static_cast<std::uint32_t>(wParam), static_cast<std::int32_t>(lParam)};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(record);
  }
  if (onMessage_) onMessage_(record);

  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      keys_[wParam & 0xFF] = true;
      return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      // Not passed on: the default handling of Alt would open the window menu, a modal loop.
      keys_[wParam & 0xFF] = false;
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;
      break;
    case WM_LBUTTONDOWN: buttons_ |= 1; keys_[VK_LBUTTON] = true; break;
    case WM_LBUTTONUP: buttons_ &= ~1u; keys_[VK_LBUTTON] = false; break;
    case WM_RBUTTONDOWN: buttons_ |= 2; keys_[VK_RBUTTON] = true; break;
    case WM_RBUTTONUP: buttons_ &= ~2u; keys_[VK_RBUTTON] = false; break;
    case WM_MBUTTONDOWN: buttons_ |= 4; break;
    case WM_MBUTTONUP: buttons_ &= ~4u; break;
    case WM_CLOSE:
      return 0;  // an unattended run ends by its script, not by the window
    default:
      break;
  }
  if (message == WM_MOUSEMOVE || (message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK)) {
    mouseX_ = static_cast<std::int16_t>(LOWORD(lParam));
    mouseY_ = static_cast<std::int16_t>(HIWORD(lParam));
    return 0;
  }
  return DefWindowProcA(window_, message, wParam, lParam);
}

}  // namespace Standin
