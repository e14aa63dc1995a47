#pragma once
// The stand-in game itself: its image, window, Direct3D, scene and modules, one frame at a
// time, with everything it does written to the trace.
#include <windows.h>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <mutex>
#include <string>
#include <vector>

#include "game/direct3d.h"
#include "game/game_image.h"
#include "game/game_window.h"
#include "game/message_box_watcher.h"
#include "game/scenario.h"
#include "game/scene_records.h"
#include "game/standin_api.h"
#include "game/trace_writer.h"

namespace Standin {

class Game final : public StandinGame {
 public:
  explicit Game(const Scenario& scenario);
  ~Game() override;

  // The whole scripted run (or the driver's); returns the exit code.
  int run();

  // StandinGame
  int runFrames(int count) override;
  int frameCount() const override { return frame_.load(); }
  unsigned loopPasses() const override { return loopPasses_; }
  void setScene(const std::vector<TextureSpec>& textures) override;
  std::vector<TextureSpec> scene() const override;
  bool loadDictionary(const std::string& name, const std::vector<TextureSpec>& textures) override;
  bool unloadDictionary(const std::string& name) override;
  bool isFreedMemory(std::uint32_t address) const override;
  void* textureRecord(const std::string& name) const override;
  Point cellCentre(const std::string& name) const override;
  bool loadDirect3D() override;
  bool direct3DLoaded() const override { return d3d_.loaded(); }
  long resetDevice() override;
  long sendMessage(unsigned message, std::uint32_t wParam, std::int32_t lParam) override;
  bool postMessage(unsigned message, std::uint32_t wParam, std::int32_t lParam) override;
  void sendKey(int virtualKey, bool down, bool extended, bool alt) override;
  std::vector<WindowMessage> windowMessages() const override { return window_->messages(); }
  void clearWindowMessages() override { window_->clearMessages(); }
  WNDPROC gameWindowProcedure() const override { return GameWindow::procedure(); }
  Capture captureFrame() override;
  bool captureFrameToPng(const std::string& path) override;
  std::vector<DrawRecord> draws() const override { return draws_; }
  std::vector<DrawRecord> draws(int frame) const override;
  std::vector<MessageBoxRecord> messageBoxes() const override;
  std::vector<ResetRecord> resets() const override { return resets_; }
  std::vector<std::string> traceLines() const override { return trace_.lines(); }
  HWND window() const override { return window_->handle(); }
  IDirect3DDevice9* device() const override { return d3d_.device(); }
  unsigned routineCalls(std::uint32_t address) const override;
  unsigned mouseUpdates() const override { return image_->counter(Counter::MouseUpdate); }
  HMODULE loadModule(const std::string& path) override;
  bool unloadModule(HMODULE module) override;
  std::vector<ChangedBytes> unloadModules() override;
  std::vector<ChangedBytes> changedCode() const override { return image_->changedCode(); }
  std::vector<std::uint8_t> pristineBytes(std::uint32_t address, std::size_t count) const override {
    return image_->pristine(address, count);
  }
  void setDrawing(bool drawing) override { drawing_ = drawing; }
  std::vector<SceneTiming> sceneTimings() const override { return timings_; }
  void suspendModuleCode(bool suspended) override { image_->suspendChanges(suspended); }

  // Called by the game code through its service thunks.
  void loopBody() { ++loopPasses_; }
  void renderScene();
  void useRaster(std::uint8_t* raster);
  void readMouse();

  TraceWriter& trace() { return trace_; }

 private:
  struct Module {
    std::string path;
    HMODULE handle;
  };

  void runFrame();
  void sendScripted(int frame);
  void updateGameKeys();
  void makeTextures();
  void streamDictionaries(int frame);
  void addTextures(const std::vector<TextureSpec>& textures, const std::string& dictionary);
  void freeTextures(const std::string& dictionary);
  void retireTexture(void* d3dTexture);
  bool stalePointer(const std::uint8_t* raster, const RasterView& view) const;
  void writeSceneLine(const char* event, const std::string& dictionary, const std::vector<TextureSpec>& textures);
  void recordMessage(const WindowMessage& message);
  void captureTo(const std::string& path);
  std::vector<std::string> modulesToLoad() const;
  int runDriver();
  const SceneTexture* find(const std::string& name) const;
  Point quadOrigin(int cell) const;
  std::int64_t ticks() const;
  double nanoseconds(std::int64_t ticks) const { return ticks * 1e9 / ticksPerSecond_; }

  Scenario scenario_;
  mutable TraceWriter trace_;
  std::unique_ptr<GameImage> image_;
  std::unique_ptr<GameWindow> window_;
  Direct3D d3d_;
  std::unique_ptr<MessageBoxWatcher> watcher_;
  RecordHeap heap_;
  std::vector<SceneTexture> scene_;  // the scene's own textures, then the loaded dictionaries'
  // The game's textures released with their rasters, kept (filled with the poison colour) for a
  // while so that their addresses are not reused while a stale one can still be drawn.
  std::deque<void*> retired_;
  std::set<std::uintptr_t> retiredAddresses_;
  const SceneTexture* current_ = nullptr;
  std::vector<DrawRecord> draws_;
  std::vector<ResetRecord> resets_;
  mutable std::mutex boxesMutex_;
  std::vector<MessageBoxRecord> boxes_;
  std::vector<Module> modules_;
  std::atomic<int> frame_{0};
  unsigned loopPasses_ = 0;
  bool captureNext_ = false;
  bool drawing_ = true;
  std::int64_t ticksPerSecond_ = 1;
  std::int64_t siteStart_ = 0;      // performance counter when the current site was called
  SceneTiming sceneTiming_;          // the scene being rendered
  std::vector<SceneTiming> timings_;
  Capture lastCapture_;
};

}  // namespace Standin
