// The events hub inside the stand-in: real window messages through the subclassed procedure,
// key states, typed words, combinations and the main loop's game keys.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "framework/kel_events.h"
#include "hook/ccall_hook.h"
#include "game/standin_api.h"
#include "host/host.h"

// Armed, the next allocation of a call-site hook fails: the one thing a hub's construction can
// fail on.
bool failCallSiteHook = false;

void* operator new(std::size_t size) {
  if (failCallSiteHook && size == sizeof(CCallHook)) {
    failCallSiteHook = false;
    throw std::bad_alloc();
  }
  if (void* memory = std::malloc(size ? size : 1)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

struct Sent {
  HWND hwnd;
  unsigned message, wParam;
  long lParam;
};

std::vector<unsigned> gameSaw(StandinGame& game) {
  std::vector<unsigned> messages;
  for (const auto& m : game.windowMessages()) messages.push_back(m.message);
  return messages;
}

bool gameSawMessage(StandinGame& game, unsigned message) {
  for (unsigned m : gameSaw(game))
    if (m == message) return true;
  return false;
}

long keyLParam(unsigned scanCode, bool extended = false, bool repeat = false) {
  return static_cast<long>(1u | ((scanCode & 0xFF) << 16) | (extended ? 1u << 24 : 0u) | (repeat ? 1u << 30 : 0u));
}

class EventsInGame : public ::testing::Test {
 protected:
  void SetUp() override {
    game.clearWindowMessages();
    hub = kelEvents();
  }
  void TearDown() override { deleteKelEvents(); }

  // Records every key signal as "pressed 65", "down 65", "up 65".
  void recordKeys() {
    hub->keyPressed.connect([this](int k) { keys.push_back("pressed " + std::to_string(k)); });
    hub->keyDown.connect([this](int k) { keys.push_back("down " + std::to_string(k)); });
    hub->keyUp.connect([this](int k) { keys.push_back("up " + std::to_string(k)); });
  }
  void type(const std::string& letters) {
    for (char c : letters) {
      game.sendMessage(WM_KEYDOWN, static_cast<unsigned char>(c), keyLParam(MapVirtualKeyA(c, 0)));
      game.sendMessage(WM_KEYUP, static_cast<unsigned char>(c), keyLParam(MapVirtualKeyA(c, 0)));
    }
  }

  StandinGame& game = standinGame();
  KelEvents* hub = nullptr;
  std::vector<std::string> keys;
};

}  // namespace

TEST_F(EventsInGame, MessagesReachBothSignalsInOrderThenTheGame) {
  std::vector<std::string> order;
  std::vector<Sent> all;
  hub->windowMessage.connect([&](HWND h, unsigned m, unsigned w, long l) {
    order.push_back("window");
    all.push_back({h, m, w, l});
  });
  hub->gameWindowMessage.connect([&](unsigned m, unsigned w, long l) {
    order.push_back("game");
    EXPECT_EQ(m, WM_USER + 7u);
    EXPECT_EQ(w, 11u);
    EXPECT_EQ(l, -5);
  });
  game.sendMessage(WM_USER + 7, 11, -5);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].hwnd, game.window());
  EXPECT_EQ(all[0].message, WM_USER + 7u);
  EXPECT_EQ(order, (std::vector<std::string>{"window", "game"}));
  auto seen = game.windowMessages();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, WM_USER + 7u);
  EXPECT_EQ(seen[0].wParam, 11u);
  EXPECT_EQ(seen[0].lParam, -5);
}

TEST_F(EventsInGame, ConsumedMessagesReachTheGameAsNull) {
  int gameSignals = 0, downs = 0;
  hub->gameWindowMessage.connect([&](unsigned, unsigned, long) { ++gameSignals; });
  hub->keyDown.connect([&](int) { ++downs; });
  unsigned id = hub->windowMessage.connect([&](HWND, unsigned m, unsigned, long) {
    if (m == WM_USER + 1) hub->consumeMessage();
  });

  game.sendMessage(WM_USER + 1, 0, 0);
  EXPECT_EQ(gameSaw(game), (std::vector<unsigned>{WM_NULL}));
  EXPECT_EQ(gameSignals, 0);  // all further handling stops

  game.clearWindowMessages();
  game.sendMessage(WM_USER + 2, 0, 0);  // the next one is handled normally
  EXPECT_EQ(gameSaw(game), (std::vector<unsigned>{WM_USER + 2}));
  EXPECT_EQ(gameSignals, 1);
  hub->windowMessage.disconnect(id);

  // Consumed later, from a key slot: the key is counted, the game still sees WM_NULL.
  unsigned keyId = hub->keyPressed.connect([&](int) { hub->consumeMessage(); });
  game.clearWindowMessages();
  game.sendMessage(WM_KEYDOWN, 'Q', keyLParam(MapVirtualKeyA('Q', 0)));
  EXPECT_EQ(gameSaw(game), (std::vector<unsigned>{WM_NULL}));
  EXPECT_EQ(downs, 1);
  EXPECT_TRUE(hub->isKeyDown('Q'));
  hub->keyPressed.disconnect(keyId);
}

TEST_F(EventsInGame, AltMenuNeverReachesTheGame) {
  game.sendMessage(WM_SYSCOMMAND, SC_KEYMENU, 0);
  game.sendMessage(WM_SYSCOMMAND, SC_KEYMENU | 0x3, ' ');
  EXPECT_FALSE(gameSawMessage(game, WM_SYSCOMMAND));
  game.sendMessage(WM_SYSCOMMAND, 0xF1F0, 0);  // other commands pass (one the system ignores)
  EXPECT_TRUE(gameSawMessage(game, WM_SYSCOMMAND));
}

TEST_F(EventsInGame, AfterTheHubIsDeletedTheGameGetsMessagesDirectly) {
  EXPECT_EQ(kelEvents(), hub);  // created once
  EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongA(game.window(), GWL_WNDPROC)), game.gameWindowProcedure());
  int signals = 0;
  hub->windowMessage.connect([&](HWND, unsigned, unsigned, long) {
    ++signals;
    hub->consumeMessage();
  });
  deleteKelEvents();
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongA(game.window(), GWL_WNDPROC)), game.gameWindowProcedure());
  game.sendMessage(WM_USER + 3, 0, 0);
  EXPECT_EQ(signals, 0);
  EXPECT_EQ(gameSaw(game), (std::vector<unsigned>{WM_USER + 3}));
  hub = kelEvents();  // a new hub subclasses again
  EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongA(game.window(), GWL_WNDPROC)), game.gameWindowProcedure());
}

TEST_F(EventsInGame, SidedModifiersComeFromTheScanCode) {
  std::vector<int> down;
  hub->keyDown.connect([&](int k) { down.push_back(k); });
  game.sendMessage(WM_KEYDOWN, VK_SHIFT, keyLParam(MapVirtualKeyA(VK_LSHIFT, 0)));
  game.sendMessage(WM_KEYDOWN, VK_SHIFT, keyLParam(MapVirtualKeyA(VK_RSHIFT, 0)));
  game.sendMessage(WM_KEYDOWN, VK_CONTROL, keyLParam(MapVirtualKeyA(VK_LCONTROL, 0)));
  // Right Control shares the left one's scan code; only the extended bit tells them apart,
  // and it is not consulted.
  game.sendMessage(WM_KEYDOWN, VK_CONTROL, keyLParam(MapVirtualKeyA(VK_RCONTROL, 0), true));
  game.sendMessage(WM_SYSKEYDOWN, VK_MENU, keyLParam(MapVirtualKeyA(VK_LMENU, 0)));
  game.sendMessage(WM_KEYDOWN, VK_SHIFT, keyLParam(0x7F));  // no scan code matches
  game.sendMessage(WM_KEYDOWN, 'A', keyLParam(MapVirtualKeyA(VK_RSHIFT, 0)));  // only modifiers are refined
  EXPECT_EQ(down, (std::vector<int>{160, 161, 162, 162, 164, VK_SHIFT, 'A'}));

  game.sendMessage(WM_KEYUP, VK_SHIFT, keyLParam(MapVirtualKeyA(VK_RSHIFT, 0)));
  EXPECT_FALSE(hub->isKeyDown(161));
  EXPECT_TRUE(hub->isKeyDown(160));
}

TEST_F(EventsInGame, HeldKeyPressesOnceAndRepeatsDown) {
  recordKeys();
  const long scan = MapVirtualKeyA('K', 0);
  EXPECT_FALSE(hub->isKeyDown('K'));
  game.sendMessage(WM_KEYDOWN, 'K', keyLParam(scan));
  game.sendMessage(WM_KEYDOWN, 'K', keyLParam(scan, false, true));
  game.sendMessage(WM_KEYDOWN, 'K', keyLParam(scan, false, true));
  EXPECT_TRUE(hub->isKeyDown('K'));
  game.sendMessage(WM_KEYUP, 'K', keyLParam(scan));
  EXPECT_FALSE(hub->isKeyDown('K'));
  EXPECT_EQ(keys, (std::vector<std::string>{"pressed 75", "down 75", "down 75", "down 75", "up 75"}));
}

TEST_F(EventsInGame, MouseButtonsAndWheel) {
  recordKeys();
  int up = 0, down = 0;
  hub->wheelUp.connect([&] { ++up; });
  hub->wheelDown.connect([&] { ++down; });
  game.sendMessage(WM_LBUTTONDOWN, MK_LBUTTON, 0);
  EXPECT_TRUE(hub->isKeyDown(1));
  game.sendMessage(WM_LBUTTONUP, 0, 0);
  game.sendMessage(WM_RBUTTONDBLCLK, 0, 0);
  game.sendMessage(WM_MBUTTONDOWN, 0, 0);
  game.sendMessage(WM_XBUTTONDOWN, 0x10020, 0);
  game.sendMessage(WM_XBUTTONDOWN, 0x20040, 0);
  game.sendMessage(WM_XBUTTONDOWN, 0x10021, 0);  // not one of the two exact forms: ignored
  game.sendMessage(WM_XBUTTONUP, 0x20000, 0);
  EXPECT_EQ(keys, (std::vector<std::string>{"pressed 1", "down 1", "up 1", "pressed 2", "down 2", "up 2", "pressed 4",
                                            "down 4", "pressed 5", "down 5", "pressed 6", "down 6", "up 6"}));
  EXPECT_TRUE(hub->isKeyDown(5));
  EXPECT_TRUE(hub->isKeyDown(4));

  game.sendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
  game.sendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, 0), 0);
  game.sendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
  EXPECT_EQ(up, 2);
  EXPECT_EQ(down, 1);
}

TEST_F(EventsInGame, WordsAreRecognisedAtTheirLastKey) {
  std::string word = "abc";
  hub->addWord(word);
  EXPECT_EQ(word, "ABC");
  std::string again = "Abc";
  hub->addWord(again);  // no duplicate
  std::vector<std::string> typed, checked;
  hub->wordTyped.connect([&](std::string w) { typed.push_back(w + "@" + hub->typedText()); });
  hub->wordChecked.connect([&](std::string w, std::string tail, std::string all) {
    checked.push_back(w + "|" + tail + "|" + all);
  });

  type("XAB");
  EXPECT_TRUE(typed.empty());
  type("C");
  EXPECT_EQ(typed, (std::vector<std::string>{"ABC@XABC"}));
  EXPECT_EQ(checked, (std::vector<std::string>{"ABC|XAB|XAB", "ABC|ABC|XABC"}));  // once per word, from 3 keys on

  std::string lower = "abc";
  EXPECT_TRUE(hub->isWordTyped(lower));
  EXPECT_EQ(lower, "ABC");
  EXPECT_EQ(hub->typedText(), "");
  EXPECT_FALSE(hub->isWordTyped(lower));  // forgotten

  type("AB");
  std::string other = "xb";
  EXPECT_FALSE(hub->isWordTyped(other));
  EXPECT_EQ(hub->typedText(), "AB");  // a miss changes nothing
  std::string empty;
  EXPECT_TRUE(hub->isWordTyped(empty));
  EXPECT_EQ(hub->getTypedCount(), 0u);

  hub->removeWord("abc");  // exact match only
  hub->removeWord("ABC");
  typed.clear();
  type("ABC");
  EXPECT_TRUE(typed.empty());
}

TEST_F(EventsInGame, TypedKeysKeepTheLast120) {
  std::string letters;
  for (int i = 0; i < 125; ++i) letters += static_cast<char>('A' + i % 26);
  type(letters);
  EXPECT_EQ(hub->getTypedCount(), 120u);
  EXPECT_EQ(hub->typedText(), letters.substr(5));
  std::string tail = letters.substr(120);
  EXPECT_TRUE(hub->isWordTyped(tail));
}

TEST_F(EventsInGame, CombinationsFireWhileAllTheirKeysAreDown) {
  std::vector<std::string> combos;
  hub->comboPressed.connect([&](std::string name) { combos.push_back(name); });
  hub->setCombo({65, 66}, "ab");
  hub->setCombo({66}, "b");
  EXPECT_EQ(hub->getCombo("ab"), (std::vector<int>{65, 66}));
  EXPECT_TRUE(hub->getCombo("none").empty());
  EXPECT_FALSE(hub->areKeysDown({}));

  game.sendMessage(WM_KEYDOWN, 65, keyLParam(MapVirtualKeyA(65, 0)));
  EXPECT_TRUE(combos.empty());
  game.sendMessage(WM_KEYDOWN, 66, keyLParam(MapVirtualKeyA(66, 0)));
  EXPECT_EQ(combos, (std::vector<std::string>{"ab", "b"}));  // in name order
  EXPECT_TRUE(hub->areKeysDown({65, 66}));
  game.sendMessage(WM_KEYDOWN, 66, keyLParam(MapVirtualKeyA(66, 0), false, true));  // a repeat is no new press
  EXPECT_EQ(combos.size(), 2u);
  game.sendMessage(WM_KEYDOWN, 67, keyLParam(MapVirtualKeyA(67, 0)));  // any other key while both held
  EXPECT_EQ(combos, (std::vector<std::string>{"ab", "b", "ab", "b"}));

  hub->removeCombo("ab");
  game.sendMessage(WM_KEYDOWN, 68, keyLParam(MapVirtualKeyA(68, 0)));
  EXPECT_EQ(combos.back(), "b");
  EXPECT_EQ(combos.size(), 5u);
}

TEST_F(EventsInGame, GameLoopFiresOncePerPass) {
  int passes = 0;
  hub->gameLoop.connect([&] { ++passes; });
  const unsigned before = game.loopPasses();
  game.runFrames(3);
  EXPECT_EQ(passes, static_cast<int>(game.loopPasses() - before));
  EXPECT_EQ(passes, 3);
}

TEST_F(EventsInGame, GameKeysAreReportedAndOverriddenAfterThePass) {
  std::vector<unsigned short> stateOfDown;
  std::vector<std::pair<int, unsigned short>> changed;
  int statesPerPass = 0;
  hub->gameKeyState.connect([&](KelKeys::GameKeys k, unsigned short v) {
    ++statesPerPass;
    if (k == KelKeys::GameKeys(3)) stateOfDown.push_back(v);
  });
  hub->gameKeyChanged.connect([&](KelKeys::GameKeys k, unsigned short v) { changed.emplace_back(k, v); });
  auto& current = Host::at<std::uint16_t[24]>(Host::GameKeysCurrent);
  auto& previous = Host::at<std::uint16_t[24]>(Host::GameKeysPrevious);

  game.runFrames(1);
  EXPECT_EQ(statesPerPass, 24);
  EXPECT_TRUE(changed.empty());

  hub->setGameKey(KelKeys::GameKeys(3), 255);
  game.runFrames(1);
  EXPECT_EQ(current[3], 255);
  EXPECT_EQ(previous[3], 255);
  EXPECT_EQ(hub->getGameKey(KelKeys::GameKeys(3)), 255);
  EXPECT_EQ(stateOfDown, (std::vector<unsigned short>{0, 0}));  // that pass still saw the old value
  EXPECT_TRUE(changed.empty());                                  // and no change for key 3

  // The game's own values: its next frame puts key 3 back to 0, a change.
  game.runFrames(1);
  ASSERT_FALSE(changed.empty());
  EXPECT_EQ(changed.back(), (std::pair<int, unsigned short>(3, 0)));
  // Then the Down key (game key 3) held for a frame.
  game.sendKey(VK_DOWN, true);
  game.runFrames(1);
  game.sendKey(VK_DOWN, false);
  EXPECT_EQ(stateOfDown.back(), 255);
  ASSERT_FALSE(changed.empty());
  EXPECT_EQ(changed.back(), (std::pair<int, unsigned short>(3, 255)));
}

TEST_F(EventsInGame, AHubThatFailsToBuildLeavesTheWindowToTheGame) {
  deleteKelEvents();
  HWND window = Host::at<HWND>(Host::MainWindow);
  const LONG procedure = GetWindowLongA(window, GWL_WNDPROC);
  failCallSiteHook = true;
  EXPECT_THROW(KelEvents failed, std::bad_alloc);
  failCallSiteHook = false;
  EXPECT_EQ(procedure, GetWindowLongA(window, GWL_WNDPROC));
  game.sendMessage(WM_USER + 3, 0, 0);
  EXPECT_TRUE(gameSawMessage(game, WM_USER + 3));
}

TEST_F(EventsInGame, GameKeyOverridesBeyondTheGamesValuesWriteNothing) {
  deleteKelEvents();
  // Bytes right after the hub: an override of key 24 or more would land there.
  struct Guarded {
    KelEvents events;
    unsigned char after[1024];
  };
  auto guarded = std::make_unique<Guarded>();
  std::memset(guarded->after, 0x5A, sizeof guarded->after);
  auto& current = Host::at<std::uint16_t[24]>(Host::GameKeysCurrent);
  game.runFrames(1);
  std::vector<std::uint16_t> before(current, current + 24);
  guarded->events.setGameKey(KelKeys::GameKeys(KelKeys::GameKeyCount), 77);
  guarded->events.setGameKey(KelKeys::GameKeys(255), 77);
  for (unsigned char byte : guarded->after) EXPECT_EQ(0x5A, byte);
  game.runFrames(1);
  EXPECT_EQ(before, std::vector<std::uint16_t>(current, current + 24));
}
