#include "framework/kel_events.h"

#include <cctype>
#include <cstdint>
#include <cstring>

#include "framework/process_instance.h"
#include "hook/ccall_hook.h"
#include "host/host.h"

namespace {

// Kept after the hub is gone: a later subclass may still chain through our procedure.
WNDPROC previousProcedure = nullptr;
KelEvents* activeHub = nullptr;

HWND gameWindow() { return Host::at<HWND>(Host::MainWindow); }

LRESULT CALLBACK hubProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (activeHub && !activeHub->handleMessage(hwnd, message, static_cast<unsigned>(wParam), static_cast<long>(lParam)))
    return CallWindowProcA(previousProcedure, hwnd, WM_NULL, 0, 0);
  // Alt alone never opens the window menu over the game.
  if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_KEYMENU) return 0;
  return CallWindowProcA(previousProcedure, hwnd, message, wParam, lParam);
}

std::uint16_t& currentGameKey(int key) { return Host::at<std::uint16_t>(Host::GameKeysCurrent + 2 * key); }
std::uint16_t& previousGameKey(int key) { return Host::at<std::uint16_t>(Host::GameKeysPrevious + 2 * key); }

void toUpper(std::string& word) {
  for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// Mouse buttons as the virtual keys Windows gives them.
constexpr int LeftButton = 1, RightButton = 2, MiddleButton = 4, XButton1 = 5, XButton2 = 6;

}  // namespace

int sidedKey(unsigned wParam, long lParam) {
  if (wParam != VK_SHIFT && wParam != VK_CONTROL && wParam != VK_MENU) return static_cast<int>(wParam);
  const unsigned scanCode = (static_cast<unsigned long>(lParam) >> 16) & 0xFF;
  // Keys whose sides share a scan code come out as the left one.
  for (unsigned sided = VK_LSHIFT; sided <= VK_RMENU; ++sided) {
    if (MapVirtualKeyA(sided, 0) == scanCode) return static_cast<int>(sided);
  }
  return static_cast<int>(wParam);
}

KelEvents::KelEvents() {
  // What can throw comes first: a hub that never finished is neither published nor in the
  // window's way.
  loopHook = std::make_unique<CCallHook>(Host::MainLoopCall, Host::MainLoopCallSize, 0, CCallHook::Before,
                                         CCallHook::SaveRegisters | CCallHook::SaveFlags, 0);
  loopHook->setCallback(this, &KelEvents::onGameLoop);
  activeHub = this;
  HWND window = gameWindow();
  WNDPROC previous = window ? reinterpret_cast<WNDPROC>(SetWindowLongA(
                                  window, GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<std::uintptr_t>(&hubProcedure))))
                            : nullptr;
  if (previous) {
    previousProcedure = previous;
    subclassedWindow = window;
  }
}

KelEvents::~KelEvents() {
  activeHub = nullptr;
  // Only a window we subclassed gets its procedure back: a failed subclass has nothing to undo.
  if (subclassedWindow) {
    SetWindowLongA(subclassedWindow, GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<std::uintptr_t>(previousProcedure)));
  }
  loopHook.reset();  // empties the callback; the call-site patch stays and runs the game's code
}

bool KelEvents::handleMessage(HWND hwnd, unsigned message, unsigned wParam, long lParam) {
  windowMessage(hwnd, message, wParam, lParam);
  if (!consumeFlag) {
    if (hwnd != gameWindow()) return true;
    gameWindowMessage(message, wParam, lParam);
  }
  if (!consumeFlag) {
    switch (message) {
      case WM_LBUTTONDOWN: pressKey(LeftButton); break;
      case WM_LBUTTONUP: releaseKey(LeftButton); break;
      case WM_LBUTTONDBLCLK: pressKey(LeftButton); releaseKey(LeftButton); break;
      case WM_RBUTTONDOWN: pressKey(RightButton); break;
      case WM_RBUTTONUP: releaseKey(RightButton); break;
      case WM_RBUTTONDBLCLK: pressKey(RightButton); releaseKey(RightButton); break;
      case WM_MBUTTONDOWN: pressKey(MiddleButton); break;
      case WM_MBUTTONUP: releaseKey(MiddleButton); break;
      case WM_MBUTTONDBLCLK: pressKey(MiddleButton); releaseKey(MiddleButton); break;
      case WM_XBUTTONDOWN:
        if (wParam == 0x10020)
          pressKey(XButton1);
        else if (wParam == 0x20040)
          pressKey(XButton2);
        else
          return true;
        break;
      case WM_XBUTTONUP:
        if (wParam == 0x10000)
          releaseKey(XButton1);
        else if (wParam == 0x20000)
          releaseKey(XButton2);
        else
          return true;
        break;
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN: {
        const int key = sidedKey(wParam, lParam);
        pressKey(key);
        recordTyped(key);
        checkWords();
        break;
      }
      case WM_KEYUP:
      case WM_SYSKEYUP: releaseKey(sidedKey(wParam, lParam)); break;
      case WM_MOUSEWHEEL:
        if (static_cast<short>(HIWORD(wParam)) < 0)
          wheelDown();
        else
          wheelUp();
        break;
      default: return true;
    }
    if (!consumeFlag) return true;
  }
  consumeFlag = false;
  return false;
}

void KelEvents::pressKey(int key) {
  bool& down = keyStates[key];
  if (!down) {
    down = true;
    keyPressed(key);
    for (const auto& combo : combos) {
      if (areKeysDown(combo.second)) comboPressed(combo.first);
    }
  }
  keyDown(key);
}

void KelEvents::releaseKey(int key) {
  keyStates[key] = false;
  keyUp(key);
}

void KelEvents::recordTyped(int key) {
  if (typedCount == TypedCapacity) {
    std::memmove(typedKeys, typedKeys + 1, TypedCapacity - 1);
    typedKeys[TypedCapacity - 1] = static_cast<char>(key);
    typedKeys[TypedCapacity] = 0;
  } else {
    typedKeys[typedCount++] = static_cast<char>(key);
  }
}

void KelEvents::checkWords() {
  // By index: a slot may register or remove words while we walk them.
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string word = words[i];
    if (typedCount < word.size()) continue;
    std::string tail(typedKeys + typedCount - word.size(), word.size());
    if (tail == word) wordTyped(word);
    wordChecked(word, tail, typedText());
  }
}

void KEL_THISCALL KelEvents::onGameLoop() {
  gameLoop();
  for (int k = 0; k < KelKeys::GameKeyCount; ++k) {
    const auto key = static_cast<KelKeys::GameKeys>(k);
    gameKeyState(key, currentGameKey(k));
    const std::uint16_t current = currentGameKey(k);
    if (current != previousGameKey(k)) gameKeyChanged(key, current);
    Override& override = gameKeyOverrides[k];
    if (override.pending) {
      currentGameKey(k) = override.value;
      previousGameKey(k) = override.value;
      override.pending = false;
    }
  }
}

bool KelEvents::isKeyDown(int key) { return keyStates[key]; }

bool KelEvents::isWordTyped(std::string& word) {
  toUpper(word);
  if (word.size() > typedCount) return false;
  if (std::memcmp(typedKeys + typedCount - word.size(), word.data(), word.size()) != 0) return false;
  std::memset(typedKeys, 0, sizeof typedKeys);
  typedCount = 0;
  return true;
}

bool KelEvents::areKeysDown(const std::vector<int>& keys) {
  if (keys.empty()) return false;
  for (int key : keys) {
    if (!keyStates[key]) return false;
  }
  return true;
}

void KelEvents::setKeyValue(int key, int value) { keyValues[key] = {value, false}; }

void KelEvents::addWord(std::string& word) {
  toUpper(word);
  for (const std::string& known : words) {
    if (known == word) return;
  }
  words.push_back(word);
}

void KelEvents::setCombo(const std::vector<int>& keys, const std::string& name) { combos[name] = keys; }

std::vector<int> KelEvents::getCombo(const std::string& name) { return combos[name]; }

void KelEvents::removeWord(const std::string& word) {
  for (auto it = words.begin(); it != words.end(); ++it) {
    if (*it == word) {
      words.erase(it);
      return;
    }
  }
}

void KelEvents::removeCombo(const std::string& name) { combos.erase(name); }

void KelEvents::consumeMessage() { consumeFlag = true; }

unsigned short KelEvents::getGameKey(KelKeys::GameKeys key) { return currentGameKey(key); }

void KelEvents::setGameKey(KelKeys::GameKeys key, short value) {
  if (key >= KelKeys::GameKeyCount) return;  // the game has 24 values; anything else would write past them
  gameKeyOverrides[key] = {static_cast<unsigned short>(value), true};
}

KelEvents* kelEvents() { return ProcessInstance<KelEvents>::get(); }

void deleteKelEvents() { ProcessInstance<KelEvents>::destroy(); }
