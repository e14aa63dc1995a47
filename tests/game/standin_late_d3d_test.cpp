// A run in which Direct3D appears only before the fourth main-loop pass (d3d 3).
#include <gtest/gtest.h>
#include <d3d9.h>

#include <thread>

#include "game/standin_api.h"
#include "host/host.h"

namespace {

TEST(StandinLateDirect3D, AppearsBeforeTheChosenPassAndDrawingStartsThen) {
  StandinGame& game = standinGame();
  EXPECT_EQ(GetModuleHandleA("d3d9.dll"), nullptr);
  game.runFrames(3);
  EXPECT_EQ(game.loopPasses(), 3u);
  EXPECT_EQ(GetModuleHandleA("d3d9.dll"), nullptr);
  EXPECT_EQ(Host::at<void*>(Host::Device), nullptr);
  EXPECT_TRUE(game.draws().empty());
  EXPECT_EQ(game.resetDevice(), -1);  // no device, no reset
  EXPECT_FALSE(game.captureFrame().pixels.empty());  // the fourth frame: Direct3D comes before its pass
  EXPECT_NE(GetModuleHandleA("d3d9.dll"), nullptr);
  EXPECT_EQ(Host::at<IDirect3DDevice9*>(Host::Device), game.device());
  EXPECT_EQ(game.draws(3).size(), 5u);
}

TEST(StandinLateDirect3D, MessageBoxesOfOtherThreadsAreClosedToo) {
  StandinGame& game = standinGame();
  const size_t before = game.messageBoxes().size();
  std::thread shower([] { MessageBoxA(nullptr, "from a loading thread", "Velquor", MB_OK); });
  shower.join();
  auto boxes = game.messageBoxes();
  ASSERT_EQ(boxes.size(), before + 1);
  EXPECT_EQ(boxes.back().text, "from a loading thread");
}

}  // namespace
