// The cursor control inside the stand-in: the game's mouse code bytes, its mouse state, the
// routines called on hiding, and the signals.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "framework/kel_cursor.h"
#include "game/standin_api.h"
#include "host/host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesAt(std::uint32_t address, std::size_t count) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(address));
  return Bytes(p, p + count);
}

struct Site {
  std::uint32_t address;
  Bytes shown;
};

const std::vector<Site> sites = {
    {Host::MouseCall1, {0x90, 0x90, 0x90, 0x90, 0x90}},
    {Host::MouseCall2, {0x90, 0x90, 0x90, 0x90, 0x90}},
    {Host::MouseTest, {0x33, 0xC0, 0x0F, 0x84}},
    {Host::MouseRoutine, {0xC3}},
};

void writeCode(std::uint32_t address, const Bytes& bytes) {
  void* at = reinterpret_cast<void*>(static_cast<std::uintptr_t>(address));
  DWORD old;
  VirtualProtect(at, bytes.size(), PAGE_EXECUTE_READWRITE, &old);
  std::memcpy(at, bytes.data(), bytes.size());
  VirtualProtect(at, bytes.size(), old, &old);
}

class CursorInGame : public ::testing::Test {
 protected:
  void TearDown() override { deleteKelCursor(); }

  void expectGameBytes() {
    for (const Site& site : sites)
      EXPECT_EQ(bytesAt(site.address, site.shown.size()), game.pristineBytes(site.address, site.shown.size()))
          << std::hex << site.address;
  }
  void expectShownBytes() {
    for (const Site& site : sites) EXPECT_EQ(bytesAt(site.address, site.shown.size()), site.shown) << std::hex << site.address;
  }
  unsigned resets() { return game.routineCalls(Host::MouseResetRoutine1) * 1000 + game.routineCalls(Host::MouseResetRoutine2); }
  void dirtyMouseState() { std::memset(reinterpret_cast<void*>(static_cast<std::uintptr_t>(Host::MouseState)), 0x5A, 8); }
  bool mouseStateClear() { return bytesAt(Host::MouseState, 8) == Bytes(8, 0); }

  StandinGame& game = standinGame();
};

}  // namespace

TEST_F(CursorInGame, StartsHiddenWithTheArrowAndTheGameUntouched) {
  KelCursor* cursor = kelCursor();
  EXPECT_EQ(kelCursor(), cursor);
  EXPECT_FALSE(cursor->isShown());
  EXPECT_TRUE(cursor->isHidden());
  EXPECT_EQ(cursor->getCursor(), IDC_ARROW);
  expectGameBytes();
}

TEST_F(CursorInGame, ShowSwitchesTheMouseCodeOffAndHidePutsItBack) {
  KelCursor* cursor = kelCursor();
  SetCursor(nullptr);
  ASSERT_TRUE(cursor->isUnpatched());

  cursor->show();
  expectShownBytes();
  EXPECT_FALSE(cursor->isUnpatched());
  EXPECT_TRUE(cursor->isActive());
  EXPECT_NE(GetCursor(), nullptr);

  // While shown the game's mouse code does not run.
  const unsigned reads = game.routineCalls(0x531140), updates = game.mouseUpdates(),
                 jumps = game.routineCalls(Host::MouseRoutine);
  game.runFrames(2);
  EXPECT_EQ(game.routineCalls(0x531140), reads);
  EXPECT_EQ(game.mouseUpdates(), updates);
  EXPECT_EQ(game.routineCalls(Host::MouseRoutine), jumps);

  dirtyMouseState();
  const unsigned before = resets();
  cursor->hide();
  expectGameBytes();
  EXPECT_TRUE(mouseStateClear());
  EXPECT_EQ(resets(), before + 1001);  // each routine once
  EXPECT_EQ(GetCursor(), nullptr);
  EXPECT_TRUE(cursor->isUnpatched());
  EXPECT_TRUE(cursor->isInactive());

  game.runFrames(1);  // the game's mouse code runs again
  EXPECT_GT(game.mouseUpdates(), updates);
}

TEST_F(CursorInGame, SignalsComeInOrder) {
  KelCursor* cursor = kelCursor();
  std::vector<std::string> events;
  cursor->cursorChanged.connect([&](const char* name) {
    events.push_back(name == IDC_CROSS ? "changed cross" : "changed other");
  });
  cursor->shownSignal.connect([&] { events.push_back("shown"); });
  cursor->hiddenSignal.connect([&] { events.push_back("hidden"); });
  cursor->visibilityChanged.connect([&](bool on) { events.push_back(on ? "visible" : "invisible"); });

  cursor->setShown(true, IDC_CROSS);
  EXPECT_EQ(cursor->getCursor(), IDC_CROSS);
  cursor->setShown(false);
  cursor->show();  // unconditional, even when already shown
  cursor->show();
  EXPECT_EQ(events, (std::vector<std::string>{"changed cross", "shown", "visible", "hidden", "invisible", "shown",
                                              "shown"}));
  // Deleting the cursor hides it, which still reaches the slots above: do it while they can run.
  deleteKelCursor();
  EXPECT_EQ(events.back(), "hidden");
}

TEST_F(CursorInGame, RefreshFollowsTheShownState) {
  KelCursor* cursor = kelCursor();
  cursor->hide();
  const unsigned before = resets();
  dirtyMouseState();
  cursor->refresh();  // hidden and unpatched: nothing at all
  EXPECT_EQ(resets(), before);
  EXPECT_FALSE(mouseStateClear());
  expectGameBytes();

  cursor->show();
  // Something else puts the game's bytes back while the cursor is meant to be shown.
  for (const Site& site : sites) writeCode(site.address, game.pristineBytes(site.address, site.shown.size()));
  SetCursor(nullptr);
  ASSERT_TRUE(cursor->isUnpatched());
  cursor->refresh();
  expectShownBytes();
  EXPECT_TRUE(mouseStateClear());
  EXPECT_EQ(resets(), before + 1001);
  EXPECT_NE(GetCursor(), nullptr);

  // Hidden, and something patched the game meanwhile: refresh puts the game's bytes back.
  cursor->hide();
  for (const Site& site : sites) writeCode(site.address, site.shown);
  ASSERT_TRUE(cursor->isPatched());
  dirtyMouseState();
  cursor->refresh();
  expectGameBytes();
  EXPECT_TRUE(mouseStateClear());
  EXPECT_EQ(resets(), before + 3003);
  EXPECT_EQ(GetCursor(), nullptr);
  EXPECT_TRUE(cursor->isHidden());
}

TEST_F(CursorInGame, DeletingWhileShownRestoresTheGame) {
  kelCursor()->show(IDC_HAND);
  expectShownBytes();
  const unsigned before = resets();
  deleteKelCursor();
  expectGameBytes();
  EXPECT_EQ(resets(), before + 1001);
}
