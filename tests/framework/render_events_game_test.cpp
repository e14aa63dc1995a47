// The render device events inside the stand-in, on its real Direct3D 9 device: the draw signal
// inside a saved and restored device state, lost and reset around a real Reset, the registries.
#include <gtest/gtest.h>

#include <d3d9.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/kel_render_events.h"
#include "game/standin_api.h"
#include "hook/memory.h"
#include "host/host.h"

namespace {

// Counts the device's CreateStateBlock calls by swapping its entry in the device's virtual table.
class StateBlockCounter {
 public:
  using CreateStateBlock = HRESULT(WINAPI*)(IDirect3DDevice9*, D3DSTATEBLOCKTYPE, IDirect3DStateBlock9**);
  static constexpr int Slot = 59;  // IUnknown (3), then the device's own methods in order

  explicit StateBlockCounter(IDirect3DDevice9* device)
      : entry(*reinterpret_cast<std::uint32_t**>(device) + Slot) {
    original() = reinterpret_cast<CreateStateBlock>(*entry);
    count() = 0;
    KelHook::writeDword(entry, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&counting)));
  }
  ~StateBlockCounter() {
    KelHook::writeDword(entry, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(original())));
  }
  static int& count() {
    static int calls = 0;
    return calls;
  }

 private:
  static CreateStateBlock& original() {
    static CreateStateBlock function = nullptr;
    return function;
  }
  static HRESULT WINAPI counting(IDirect3DDevice9* device, D3DSTATEBLOCKTYPE type, IDirect3DStateBlock9** block) {
    ++count();
    return original()(device, type, block);
  }
  std::uint32_t* entry;
};

class Resource : public KelDeviceResource {
 public:
  explicit Resource(std::vector<std::string>& log) : log(log) {}
  ~Resource() override { log.push_back("deleted"); }
  void onDeviceLost() override { log.push_back("lost"); }
  void onDeviceReset(IDirect3DDevice9* device) override {
    log.push_back(device == Host::at<IDirect3DDevice9*>(Host::Device) ? "reset" : "reset on another device");
  }
  std::vector<std::string>& log;
};

class RenderEventsInGame : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(game.loadDirect3D());
    device = game.device();
    ASSERT_NE(device, nullptr);
    events = kelRenderEvents();
  }
  void TearDown() override { deleteKelRenderEvents(); }

  StandinGame& game = standinGame();
  IDirect3DDevice9* device = nullptr;
  KelRenderEvents* events = nullptr;
};

}  // namespace

TEST_F(RenderEventsInGame, NoStateBlockWhileDrawHasNoLiveSlot) {
  StateBlockCounter counter(device);
  game.runFrames(2);
  EXPECT_EQ(StateBlockCounter::count(), 0);

  int draws = 0;
  unsigned id = events->draw.connect([&] { ++draws; });
  game.runFrames(3);
  EXPECT_EQ(draws, 3);
  EXPECT_EQ(StateBlockCounter::count(), 3);

  events->draw.disconnect(id);
  game.runFrames(2);
  EXPECT_EQ(StateBlockCounter::count(), 3);

  // Every remaining id freed: the signal counts as empty.
  unsigned a = events->draw.connect([] {});
  unsigned b = events->draw.connect([] {});
  events->draw.disconnect(a);
  game.runFrames(1);
  EXPECT_EQ(StateBlockCounter::count(), 4);
  events->draw.disconnect(b);
  game.runFrames(1);
  EXPECT_EQ(StateBlockCounter::count(), 4);
}

TEST_F(RenderEventsInGame, DrawSlotChangesAreUndoneBeforeTheGameDraws) {
  DWORD cull = 0, factor = 0, colourOp = 0, writeMask = 0;
  device->GetRenderState(D3DRS_CULLMODE, &cull);
  device->GetRenderState(D3DRS_TEXTUREFACTOR, &factor);
  device->GetRenderState(D3DRS_COLORWRITEENABLE, &writeMask);
  device->GetTextureStageState(1, D3DTSS_COLOROP, &colourOp);
  IDirect3DBaseTexture9* stageTexture = nullptr;
  device->GetTexture(0, &stageTexture);

  bool slotRan = false;
  events->draw.connect([&] {
    slotRan = true;
    device->SetRenderState(D3DRS_CULLMODE, cull == D3DCULL_CW ? D3DCULL_CCW : D3DCULL_CW);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, factor ^ 0x00FF00FF);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);  // the game would draw nothing
    device->SetTextureStageState(1, D3DTSS_COLOROP, colourOp == D3DTOP_ADD ? D3DTOP_SUBTRACT : D3DTOP_ADD);
  });
  Standin::Capture frame = game.captureFrame();
  ASSERT_TRUE(slotRan);

  DWORD value = 0;
  device->GetRenderState(D3DRS_CULLMODE, &value);
  EXPECT_EQ(value, cull);
  device->GetRenderState(D3DRS_TEXTUREFACTOR, &value);
  EXPECT_EQ(value, factor);
  device->GetRenderState(D3DRS_COLORWRITEENABLE, &value);
  EXPECT_EQ(value, writeMask);
  device->GetTextureStageState(1, D3DTSS_COLOROP, &value);
  EXPECT_EQ(value, colourOp);

  // The game's quads were drawn with its own state: every scene texture's cell shows its colour.
  ASSERT_FALSE(frame.pixels.empty());
  for (const auto& texture : game.scene()) {
    Standin::Point centre = game.cellCentre(texture.name);
    EXPECT_EQ(frame.at(centre.x, centre.y) & 0xFFFFFF, texture.argb & 0xFFFFFF) << texture.name;
  }
  if (stageTexture) stageTexture->Release();
}

TEST_F(RenderEventsInGame, SlotThatDisconnectsItselfIsNotCalledAgain) {
  int calls = 0, others = 0;
  unsigned self = 0;
  self = events->draw.connect([&] {
    ++calls;
    events->draw.disconnect(self);
  });
  events->draw.connect([&] { ++others; });
  game.runFrames(3);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(others, 3);
}

TEST_F(RenderEventsInGame, LostAndResetFireAroundARealReset) {
  std::vector<std::string> order;
  events->deviceLost.connect([&] { order.push_back("lost"); });
  events->deviceReset.connect([&] { order.push_back("reset"); });
  EXPECT_EQ(game.resetDevice(), D3D_OK);  // with empty registries
  EXPECT_EQ(order, (std::vector<std::string>{"lost", "reset"}));
}

TEST_F(RenderEventsInGame, RegistriesReleaseAndRemakeBeforeTheReset) {
  std::vector<std::string> log;
  auto* texture = events->addTextureResource(std::make_unique<KelTextureResource>(32, 16));
  auto* text = events->addTextResource(std::make_unique<KelTextResource>("Velquor", 20, 0xFF20C040));
  events->addCustomResource(std::make_unique<Resource>(log));
  ASSERT_TRUE(texture->recreate(device));
  ASSERT_TRUE(text->recreate(device));
  ASSERT_TRUE(text->isReady());
  events->deviceLost.connect([&] {
    log.push_back("signal lost");
    EXPECT_EQ(texture->texture(), nullptr);
    EXPECT_FALSE(text->isReady());
  });
  events->deviceReset.connect([&] { log.push_back("signal reset"); });

  // A default-pool texture still alive would make the Reset fail.
  EXPECT_EQ(game.resetDevice(), D3D_OK);
  EXPECT_EQ(log, (std::vector<std::string>{"lost", "signal lost", "reset", "signal reset"}));
  ASSERT_NE(texture->texture(), nullptr);
  EXPECT_EQ(texture->width(), 32u);
  ASSERT_TRUE(text->isReady());

  // The text was drawn again: some pixels carry the colour with coverage, the rest are clear.
  D3DLOCKED_RECT locked;
  ASSERT_EQ(text->texture()->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  int covered = 0, wrongColour = 0;
  for (unsigned y = 0; y < text->height(); ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch);
    for (unsigned x = 0; x < text->width(); ++x) {
      if (row[x] >> 24) ++covered;
      if ((row[x] & 0xFFFFFF) != 0x20C040) ++wrongColour;
    }
  }
  text->texture()->UnlockRect(0);
  EXPECT_GT(covered, 10);
  EXPECT_LT(covered, static_cast<int>(text->width() * text->height()));
  EXPECT_EQ(wrongColour, 0);

  deleteKelRenderEvents();  // the registries delete what they own
  EXPECT_EQ(log.back(), "deleted");
  events = kelRenderEvents();
}
