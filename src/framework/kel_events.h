#pragma once
// The hub of the game's events: window messages (through a subclassed window procedure), key
// and button states, typed words, key combinations, the mouse wheel, one signal per pass of the
// game's main loop, and the game's controller values with overrides.
#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/kel_keys.h"
#include "framework/kel_signal.h"
#include "hook/calling_convention.h"

class CCallHook;

class KelEvents {
 public:
  static constexpr unsigned TypedCapacity = 120;  // typed keys kept, oldest dropped first

  KelEvents();
  virtual ~KelEvents();
  KelEvents(const KelEvents&) = delete;
  KelEvents& operator=(const KelEvents&) = delete;

  virtual bool isKeyDown(int key);
  // Upper-cases `word` in place; true (and the typed keys are forgotten) when they end with it.
  virtual bool isWordTyped(std::string& word);
  virtual bool areKeysDown(const std::vector<int>& keys);
  virtual void setKeyValue(int key, int value);
  // Upper-cases `word` in place and registers it once.
  virtual void addWord(std::string& word);
  virtual void setCombo(const std::vector<int>& keys, const std::string& name);
  virtual std::vector<int> getCombo(const std::string& name);
  virtual void removeWord(const std::string& word);
  virtual void removeCombo(const std::string& name);
  // From a slot: keep the message being handled from the game (it gets WM_NULL instead).
  virtual void consumeMessage();
  virtual unsigned short getGameKey(KelKeys::GameKeys key);
  // Written to both of the game's arrays at the next loop pass, after that pass's signals.
  virtual void setGameKey(KelKeys::GameKeys key, short value);

  KelSignal<unsigned, unsigned, long> gameWindowMessage;
  KelSignal<HWND, unsigned, unsigned, long> windowMessage;
  KelSignal<> gameLoop;
  KelSignal<int> keyDown;
  KelSignal<int> keyUp;
  KelSignal<int> keyPressed;
  KelSignal<std::string> wordTyped;
  KelSignal<std::string, std::string, std::string> wordChecked;
  KelSignal<std::string> comboPressed;
  KelSignal<> wheelUp;
  KelSignal<> wheelDown;
  KelSignal<KelKeys::GameKeys, unsigned short> gameKeyState;
  KelSignal<KelKeys::GameKeys, unsigned short> gameKeyChanged;

  // The typed keys, oldest first (what wordChecked reports as all typed keys).
  std::string typedText() const { return std::string(typedKeys, typedCount); }
  unsigned getTypedCount() const { return typedCount; }

  // Returns true when the game may see the message.
  bool handleMessage(HWND hwnd, unsigned message, unsigned wParam, long lParam);
  // Called by the main loop's call-site hook on every pass.
  void KEL_THISCALL onGameLoop();

 private:
  struct Override {
    unsigned short value = 0;
    bool pending = false;
  };

  void pressKey(int key);
  void releaseKey(int key);
  void recordTyped(int key);
  void checkWords();

  bool consumeFlag = false;
  HWND subclassedWindow = nullptr;
  std::unique_ptr<CCallHook> loopHook;
  std::map<int, bool> keyStates;
  char typedKeys[128] = {};
  unsigned typedCount = 0;
  std::map<std::string, std::vector<int>> combos;
  std::deque<std::string> words;
  std::map<int, std::pair<int, bool>> keyValues;
  Override gameKeyOverrides[KelKeys::GameKeyCount];
};

// The process's events hub, created on first call.
KelEvents* kelEvents();
// The module's unload: deletes the hub (the game's window procedure comes back) and clears the
// pointer.
void deleteKelEvents();

// Left and right Shift, Control and Alt by the scan code in lParam; other keys unchanged.
int sidedKey(unsigned wParam, long lParam);
