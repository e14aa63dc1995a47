// Taking the framework down as the module's unload does leaves the game's code as it was,
// except the main loop's call site, whose patch stays and runs the game's own instructions.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

#include "framework/kel_cursor.h"
#include "framework/kel_events.h"
#include "framework/kel_render_events.h"
#include "game/standin_api.h"
#include "host/host.h"

TEST(FrameworkUnload, EveryPatchedByteIsRestoredButTheMainLoopSite) {
  StandinGame& game = standinGame();
  ASSERT_TRUE(game.loadDirect3D());
  kelCursor()->show();
  kelRenderEvents()->draw.connect([] {});
  int passes = 0;
  kelEvents()->gameLoop.connect([&] { ++passes; });
  game.runFrames(2);
  ASSERT_EQ(passes, 2);

  deleteKelCursor();
  deleteKelEvents();
  deleteKelRenderEvents();

  for (const auto& run : game.changedCode()) {
    std::ostringstream where;
    where << std::hex << run.address << " (" << std::dec << run.now.size() << " bytes)";
    EXPECT_GE(run.address, Host::MainLoopCall) << where.str();
    EXPECT_LE(run.address + run.now.size(), Host::MainLoopCall + Host::MainLoopCallSize) << where.str();
  }
  const unsigned before = game.loopPasses();
  game.runFrames(2);  // the stub still runs the game's loop call
  EXPECT_EQ(game.loopPasses(), before + 2);
  EXPECT_EQ(passes, 2);
}
