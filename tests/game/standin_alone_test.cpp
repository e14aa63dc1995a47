// The stand-in by itself, without a module: its bytes, what passes its sites, what it draws,
// its reset, its input and its message boxes.
#include <gtest/gtest.h>
#include <d3d9.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "game/standin_api.h"
#include "host/host.h"
#include "picture_scene.h"
#include "site_probe.h"

namespace {

std::vector<std::uint8_t> bytesAt(std::uint32_t address, size_t count) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(address));
  return {p, p + count};
}

std::uint32_t callDestination(std::uint32_t address) {
  std::int32_t displacement;
  std::memcpy(&displacement, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address + 1)), 4);
  return address + 5 + static_cast<std::uint32_t>(displacement);
}

std::uint32_t value(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

void writeCode(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), bytes.data(), bytes.size());
  FlushInstructionCache(GetCurrentProcess(), nullptr, 0);
}

// The game image begins with the launcher; the game's routines all lie between these.
bool insideGame(std::uint32_t address) { return address >= 0x401000 && address < 0xD00000; }

TEST(StandinImage, CodeSitesHoldWholePatchableInstructions) {
  // Call sites: a relative call first, whose destination is game code.
  for (std::uint32_t site : {Host::MainLoopCall, Host::RasterSiteEbx, Host::RasterSiteEax, Host::RasterSiteEsi,
                             Host::DrawPoint, Host::BeforeDeviceReset, Host::AfterDeviceReset}) {
    SCOPED_TRACE(site);
    EXPECT_EQ(bytesAt(site, 1)[0], 0xE8);
    EXPECT_TRUE(insideGame(callDestination(site)));
  }
  EXPECT_EQ(bytesAt(Host::MainLoopCall + 5, 1)[0], 0x90);  // the sixth byte: a whole instruction
  EXPECT_EQ(bytesAt(Host::RasterSiteEdx, 2), (std::vector<std::uint8_t>{0x89, 0x15}));
  EXPECT_EQ(bytesAt(Host::TextureToRaster, 8),
            (std::vector<std::uint8_t>{0x8B, 0x00, 0x8B, 0x0D, 0xE0, 0xE9, 0xB4, 0x00}));
}

TEST(StandinImage, MouseCodeHasTheGamesOwnBytes) {
  EXPECT_EQ(bytesAt(Host::MouseCall1, 5), (std::vector<std::uint8_t>{0xE8, 0x46, 0xF3, 0xFE, 0xFF}));
  EXPECT_EQ(bytesAt(Host::MouseCall2, 5), (std::vector<std::uint8_t>{0xE8, 0xB4, 0x7A, 0x20, 0x00}));
  EXPECT_EQ(bytesAt(Host::MouseTest, 4), (std::vector<std::uint8_t>{0x85, 0xC0, 0x0F, 0x8C}));
  EXPECT_EQ(bytesAt(Host::MouseRoutine, 1)[0], 0xE9);
  EXPECT_EQ(callDestination(Host::MouseCall1), 0x531140u);
  EXPECT_EQ(callDestination(Host::MouseCall2), 0x746ED0u);
}

TEST(StandinImage, DataAddressesHoldTheGamesValues) {
  StandinGame& game = standinGame();
  EXPECT_EQ(Host::at<std::int32_t>(Host::RasterExtensionOffset), 56);
  EXPECT_EQ(Host::at<HWND>(Host::MainWindow), game.window());
  EXPECT_EQ(Host::at<IDirect3DDevice9*>(Host::Device), game.device());
  EXPECT_NE(game.device(), nullptr);
}

TEST(StandinImage, PristineCopyMatchesTheUntouchedCode) {
  StandinGame& game = standinGame();
  for (std::uint32_t site : {Host::MainLoopCall, Host::TextureToRaster, Host::MouseTest, Host::MouseResetRoutine2})
    EXPECT_EQ(game.pristineBytes(site, 8), bytesAt(site, 8)) << std::hex << site;
  EXPECT_TRUE(game.changedCode().empty());

  const std::vector<std::uint8_t> original = bytesAt(Host::MouseTest, 4);
  writeCode(Host::MouseTest, {0x33, 0xC0, 0x0F, 0x84});
  auto changed = game.changedCode();
  writeCode(Host::MouseTest, original);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0].address, Host::MouseTest);
  EXPECT_EQ(changed[0].original, (std::vector<std::uint8_t>{0x85, 0xC0, 0x0F, 0x8C}));
  EXPECT_EQ(changed[0].now, (std::vector<std::uint8_t>{0x33, 0xC0, 0x0F, 0x84}));
}

TEST(StandinSites, EachSiteHoldsTheTextureAndRasterWhereTheModuleLooks) {
  StandinGame& game = standinGame();
  auto record = [&](const char* name) { return value(game.textureRecord(name)); };
  auto rasterOf = [](std::uint32_t texture) { return Host::at<std::uint32_t>(texture); };
  SiteProbe probe;
  for (std::uint32_t site : {Host::MainLoopCall, Host::RasterSiteEbx, Host::RasterSiteEax, Host::RasterSiteEsi,
                             Host::RasterSiteEdx, Host::TextureToRaster, Host::TextureToRaster + 8u, Host::DrawPoint})
    probe.arm(site);
  game.runFrames(1);

  EXPECT_TRUE(probe.at(Host::MainLoopCall).hit);
  EXPECT_TRUE(probe.at(Host::DrawPoint).hit);

  const std::uint32_t water = record("water"), fire = record("fire"), grass = record("grass");
  const std::uint32_t smoke = record("smoke"), sky = record("sky");
  SiteRegisters r = probe.at(Host::RasterSiteEbx);
  EXPECT_EQ(r.ebx, water);
  EXPECT_EQ(r.stackTop, rasterOf(water));
  EXPECT_NE(r.eax, water);  // only the named register carries the texture
  r = probe.at(Host::RasterSiteEax);
  EXPECT_EQ(r.eax, fire);
  EXPECT_EQ(r.stackTop, rasterOf(fire));
  EXPECT_NE(r.ebx, fire);
  EXPECT_NE(r.esi, fire);
  r = probe.at(Host::RasterSiteEsi);
  EXPECT_EQ(r.esi, grass);
  EXPECT_EQ(r.stackTop, rasterOf(grass));
  EXPECT_NE(r.eax, grass);
  r = probe.at(Host::RasterSiteEdx);
  EXPECT_EQ(r.eax, smoke);
  EXPECT_EQ(r.edx, rasterOf(smoke));
  EXPECT_EQ(probe.at(Host::TextureToRaster).eax, sky);
  EXPECT_EQ(probe.at(Host::TextureToRaster + 8).eax, rasterOf(sky));
}

TEST(StandinFrames, EachFrameDrawsEveryTextureWithItsOwnRaster) {
  StandinGame& game = standinGame();
  const unsigned passes = game.loopPasses();
  const int frame = game.frameCount();
  game.runFrames(2);
  EXPECT_EQ(game.loopPasses(), passes + 2);
  auto draws = game.draws(frame + 1);
  std::vector<std::string> names;
  for (const auto& d : draws) names.push_back(d.texture);
  EXPECT_EQ(names, (std::vector<std::string>{"water", "fire", "grass", "smoke", "sky"}));
  for (const auto& d : draws) {
    SCOPED_TRACE(d.texture);
    EXPECT_FALSE(d.swapped());
    EXPECT_EQ(d.raster, Host::at<std::uint32_t>(d.textureRecord));
    EXPECT_NE(d.d3dTexture, 0u);
    EXPECT_EQ(d.d3dTexture, d.ownD3dTexture);
    EXPECT_EQ(d.paletteIndex, -1);
  }
  const auto lines = game.traceLines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& l) {
                            return l.find("\"event\":\"draw\",\"frame\":" + std::to_string(frame + 1) + ",") !=
                                   std::string::npos;
                          }),
            5);
}

TEST(StandinFrames, CapturesShowTheScenesColours) {
  StandinGame& game = standinGame();
  const auto original = game.scene();
  Standin::TextureSpec plum{"plum", 32, 48, 0xFF8E4585, 0x58D872, false, true};
  Standin::TextureSpec lime{"lime", 200, 200, 0xFF32CD32, 0x728570};
  game.setScene({plum, lime});
  Standin::Capture capture = game.captureFrame();
  ASSERT_EQ(capture.width, 640);
  ASSERT_EQ(capture.height, 480);
  Standin::Point p = game.cellCentre("plum"), l = game.cellCentre("lime");
  EXPECT_EQ(capture.at(p.x, p.y), 0xFF8E4585u);
  EXPECT_EQ(capture.at(l.x, l.y), 0xFF32CD32u);
  EXPECT_EQ(capture.at(600, 400), 0xFF202020u);  // background
  auto draws = game.draws(-1);
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].paletteIndex, 0);  // the palette record carries the cell's index
  EXPECT_NE(draws[0].palette, 0u);
  game.setScene(original);
}

// Each format's texture shows its picture, pixel for pixel, within the format's precision.
TEST(StandinFrames, TexturesOfEachFormatShowTheirPictures) {
  StandinGame& game = standinGame();
  const auto original = game.scene();
  const auto scene = PictureScene::everyFormat();
  game.setScene(scene);
  Standin::Capture capture = game.captureFrame();
  for (const auto& spec : scene) {
    const Standin::Point centre = game.cellCentre(spec.name);
    const int left = centre.x - spec.width / 2, top = centre.y - spec.height / 2;
    const int worst = PictureScene::worstDifference(
        spec, [&](int x, int y) { return capture.at(left + x, top + y); }, false);
    EXPECT_LE(worst, Standin::pictureTolerance(spec.format)) << spec.name;
  }
  EXPECT_EQ(game.draws(-1).at(7).paletteIndex, 7) << "P8 has its palette record";
  game.setScene(original);
}

// The world streams: a dictionary unloaded leaves poisoned records on the free lists, and the
// next textures made take them, last freed first, under their own names and flags.
TEST(StandinStreaming, DictionariesFreeRecordsAndTheNextTexturesReuseThem) {
  StandinGame& game = standinGame();
  const Standin::TextureSpec rock{"rock", 16, 16, 0xFF808080, 0x7FDFDA, false, true};
  const Standin::TextureSpec lava{"lava", 32, 32, 0xFFFF4000, 0x728320, true, false};
  ASSERT_TRUE(game.loadDictionary("hills", {rock, lava}));
  EXPECT_FALSE(game.loadDictionary("hills", {rock})) << "loaded twice";
  game.runFrames(1);
  const auto before = game.draws(-1);
  ASSERT_EQ(before.size(), 7u);  // the scene's five, then the dictionary's
  const Standin::DrawRecord rockDrawn = before[5], lavaDrawn = before[6];
  EXPECT_EQ(rockDrawn.texture, "rock");

  ASSERT_TRUE(game.unloadDictionary("hills"));
  EXPECT_FALSE(game.unloadDictionary("hills"));
  for (std::uint32_t freed : {rockDrawn.textureRecord, rockDrawn.raster, rockDrawn.palette, lavaDrawn.raster}) {
    EXPECT_TRUE(game.isFreedMemory(freed + 3)) << std::hex << freed;
    EXPECT_EQ(bytesAt(freed, 4), std::vector<std::uint8_t>(4, 0xDD)) << std::hex << freed;
  }
  EXPECT_FALSE(game.isFreedMemory(before[0].raster));

  // Made again in the other order: each texture has its own addresses back.
  ASSERT_TRUE(game.loadDictionary("hills", {{"lava", 24, 24, 0xFFFF4000, 0x728320, false, true}, rock}));
  game.runFrames(1);
  const auto after = game.draws(-1);
  ASSERT_EQ(after.size(), 7u);
  EXPECT_EQ(after[5].texture, "lava");
  EXPECT_EQ(after[5].textureRecord, lavaDrawn.textureRecord);
  EXPECT_EQ(after[5].raster, lavaDrawn.raster);
  EXPECT_EQ(after[5].paletteIndex, 5) << "a new palette record, in lava's new cell";
  EXPECT_FALSE(after[5].alphaFlag);
  EXPECT_EQ(after[6].raster, rockDrawn.raster);
  for (const auto& d : after) {
    EXPECT_TRUE(d.agrees && !d.stale && !game.isFreedMemory(d.palette)) << d.texture;
    EXPECT_EQ(d.palette, d.ownPalette) << d.texture;
  }
  EXPECT_TRUE(game.unloadDictionary("hills"));
}

TEST(StandinDevice, ResetGoesThroughBothSitesAndFailsOnlyWhileDefaultPoolTexturesLive) {
  StandinGame& game = standinGame();
  SiteProbe probe;
  probe.arm(Host::BeforeDeviceReset);
  probe.arm(Host::AfterDeviceReset);
  EXPECT_EQ(game.resetDevice(), D3D_OK);
  EXPECT_TRUE(probe.at(Host::BeforeDeviceReset).hit);
  EXPECT_TRUE(probe.at(Host::AfterDeviceReset).hit);
  ASSERT_FALSE(game.resets().empty());
  EXPECT_EQ(game.resets().back().result, D3D_OK);

  IDirect3DTexture9* held = nullptr;
  ASSERT_EQ(game.device()->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &held, nullptr), D3D_OK);
  EXPECT_NE(game.resetDevice(), D3D_OK);
  held->Release();
  EXPECT_EQ(game.resetDevice(), D3D_OK);

  Standin::Capture capture = game.captureFrame();  // drawing goes on after the reset
  Standin::Point fire = game.cellCentre("fire");
  ASSERT_FALSE(capture.pixels.empty());
  EXPECT_EQ(capture.at(fire.x, fire.y), 0xFFFF0000u);
}

TEST(StandinInput, MessagesReachTheGamesOwnProcedure) {
  StandinGame& game = standinGame();
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongA(game.window(), GWL_WNDPROC)), game.gameWindowProcedure());
  game.clearWindowMessages();
  game.sendMessage(WM_USER + 7, 3, -4);
  game.postMessage(WM_USER + 8, 5, 6);
  game.runFrames(1);  // posted messages arrive with the frame's pump
  auto messages = game.windowMessages();
  auto has = [&](unsigned m, std::uint32_t w, std::int32_t l) {
    return std::any_of(messages.begin(), messages.end(), [&](const Standin::WindowMessage& x) {
      return x.message == m && x.wParam == w && x.lParam == l;
    });
  };
  EXPECT_TRUE(has(WM_USER + 7, 3, -4));
  EXPECT_TRUE(has(WM_USER + 8, 5, 6));
}

TEST(StandinInput, KeysBecomeGameKeysAtTheNextFrame) {
  StandinGame& game = standinGame();
  auto current = [](int k) { return (&Host::at<std::uint16_t>(Host::GameKeysCurrent))[k]; };
  auto previous = [](int k) { return (&Host::at<std::uint16_t>(Host::GameKeysPrevious))[k]; };
  game.sendKey(VK_LEFT, true);
  game.runFrames(1);
  EXPECT_EQ(current(0), 255);
  EXPECT_EQ(previous(0), 0);
  game.runFrames(1);
  EXPECT_EQ(previous(0), 255);
  game.sendKey(VK_LEFT, false);
  game.runFrames(1);
  EXPECT_EQ(current(0), 0);
  game.sendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 20));
  game.runFrames(1);
  EXPECT_EQ(current(23), 255);  // game key 23 is the right button
  EXPECT_EQ(Host::at<std::uint32_t>(Host::MouseState), 2u);  // buttons, then x and y
  EXPECT_EQ(Host::at<std::int16_t>(Host::MouseState + 4), 10);
  EXPECT_EQ(Host::at<std::int16_t>(Host::MouseState + 6), 20);
  game.sendMessage(WM_RBUTTONUP, 0, MAKELPARAM(10, 20));
  game.runFrames(1);
}

TEST(StandinInput, SidedKeysAndRepeatsArriveAsWindowsSendsThem) {
  StandinGame& game = standinGame();
  game.clearWindowMessages();
  game.sendKey(VK_RSHIFT, true);
  game.sendKey(VK_RSHIFT, true);
  game.sendKey(VK_RSHIFT, false);
  game.sendKey(VK_RCONTROL, true);
  game.sendKey(VK_RCONTROL, false);
  std::vector<Standin::WindowMessage> keys;
  for (const auto& m : game.windowMessages())
    if (m.message == WM_KEYDOWN || m.message == WM_KEYUP) keys.push_back(m);
  ASSERT_EQ(keys.size(), 5u);
  const std::uint32_t rightShiftScan = MapVirtualKeyA(VK_RSHIFT, 0);
  EXPECT_NE(rightShiftScan, MapVirtualKeyA(VK_LSHIFT, 0));
  EXPECT_EQ(keys[0].wParam, static_cast<std::uint32_t>(VK_SHIFT));
  EXPECT_EQ((static_cast<std::uint32_t>(keys[0].lParam) >> 16) & 0xFF, rightShiftScan);
  EXPECT_EQ(keys[0].lParam & (1 << 30), 0);  // first press
  EXPECT_NE(keys[1].lParam & (1 << 30), 0);  // auto-repeat
  EXPECT_EQ(keys[2].message, static_cast<unsigned>(WM_KEYUP));
  EXPECT_EQ(keys[3].wParam, static_cast<std::uint32_t>(VK_CONTROL));
  EXPECT_NE(keys[3].lParam & (1 << 24), 0);  // right Ctrl is an extended key
}

TEST(StandinMouse, MouseCodeRunsEveryFrameUnlessPatchedAway) {
  StandinGame& game = standinGame();
  const unsigned read = game.routineCalls(Host::MouseCall1Target), check = game.routineCalls(Host::MouseCall2Target);
  const unsigned routine = game.routineCalls(Host::MouseRoutine), updates = game.mouseUpdates();
  game.runFrames(2);
  EXPECT_EQ(game.routineCalls(Host::MouseCall1Target), read + 2);
  EXPECT_EQ(game.routineCalls(Host::MouseCall2Target), check + 2);
  EXPECT_EQ(game.routineCalls(Host::MouseRoutine), routine + 2);
  EXPECT_EQ(game.mouseUpdates(), updates + 2);

  // The bytes a shown cursor writes switch the game's mouse code off.
  writeCode(Host::MouseCall1, {0x90, 0x90, 0x90, 0x90, 0x90});
  writeCode(Host::MouseCall2, {0x90, 0x90, 0x90, 0x90, 0x90});
  writeCode(Host::MouseTest, {0x33, 0xC0, 0x0F, 0x84});
  writeCode(Host::MouseRoutine, {0xC3});
  game.runFrames(2);
  EXPECT_EQ(game.routineCalls(Host::MouseCall1Target), read + 2);
  EXPECT_EQ(game.routineCalls(Host::MouseCall2Target), check + 2);
  EXPECT_EQ(game.routineCalls(Host::MouseRoutine), routine + 2);
  EXPECT_EQ(game.mouseUpdates(), updates + 2);
  for (std::uint32_t a : {Host::MouseCall1, Host::MouseCall2, Host::MouseTest, Host::MouseRoutine})
    writeCode(a, game.pristineBytes(a, 5));
  EXPECT_TRUE(game.changedCode().empty());

  const unsigned first = game.routineCalls(Host::MouseResetRoutine1);
  const unsigned second = game.routineCalls(Host::MouseResetRoutine2);
  reinterpret_cast<void (*)()>(Host::MouseResetRoutine1)();
  reinterpret_cast<void (*)()>(Host::MouseResetRoutine2)();
  reinterpret_cast<void (*)()>(Host::MouseResetRoutine2)();
  EXPECT_EQ(game.routineCalls(Host::MouseResetRoutine1), first + 1);
  EXPECT_EQ(game.routineCalls(Host::MouseResetRoutine2), second + 2);
}

TEST(StandinMessageBoxes, AreRecordedAndClosedWithoutBlocking) {
  StandinGame& game = standinGame();
  const size_t before = game.messageBoxes().size();
  EXPECT_EQ(MessageBoxA(game.window(), "Cannot read Velquor/fire.gif", "Velquor", MB_OK), IDOK);
  auto boxes = game.messageBoxes();
  ASSERT_EQ(boxes.size(), before + 1);
  EXPECT_EQ(boxes.back().caption, "Velquor");
  EXPECT_EQ(boxes.back().text, "Cannot read Velquor/fire.gif");
}

}  // namespace
