#pragma once
// The animated texture manager: owns the catalogue and five hooks on the game's texture code.
// Whenever the game is about to use the raster of a texture whose name is in the catalogue, the
// raster is swapped for the animation's proxy raster. A pass on every game loop gives memory
// back from animations that are not being drawn and, unless Velquor.ini says watch=0, follows
// what changes in the animation folder.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/kel_descent.h"
#include "hook/hook.h"
#include "plugin/catalogue.h"
#include "plugin/folder_watch.h"
#include "plugin/message_box.h"
#include "plugin/names_log.h"
#include "plugin/texture_picker.h"
#include "plugin/texture_name_cache.h"
#include "plugin/trim_policy.h"

struct RwRaster;
struct RwTexture;

class DecodeJob;

class AsiPlugin : public KelDescent {
 public:
  static constexpr unsigned none = 0xFFFFFFFFu;

  // Loads the whole catalogue from folder before it returns; installs nothing on the game yet.
  explicit AsiPlugin(std::string_view folder = AnimationFolder);
  ~AsiPlugin() override;

  // Replaces raster by the animation's raster when the texture's name is catalogued.
  void substitute(const RwTexture* texture, RwRaster*& raster) noexcept;
  // Slot of the draw signal: installs the hooks at the first draw after loading.
  void onDraw();
  // Slot of the game loop: starts the frame's time, shows what draw calls had to report, follows
  // the folder and runs the memory policy.
  void trim();

  const Catalogue& catalogue() const { return animations; }
  const TexturePicker& texturePicker() const { return picker; }
  // True until the first draw after loading has installed the hooks.
  bool waitingForDraw() const { return drawConnection != none; }

 private:
  void ensureFolder(const std::string& folder);
  void installHooks();
  void followFolder();
  void applyChange(const FolderChange& change);
  void swapInReplacements(const std::function<bool()>& shareLeft);
  void replaceInCatalogue(const std::string& name, Animation* animation);
  // Off the hot path: only when a record's name is looked up anew.
  void noteName(std::string_view name, const RwRaster* raster, bool animated) noexcept;

  void onRasterEbx(KelHook::CPU& cpu, RwRaster*& raster);
  void onRasterEdx(KelHook::CPU& cpu);
  void onRasterEax(KelHook::CPU& cpu, RwRaster*& raster);
  void onTextureToRasterBefore(KelHook::CPU& cpu);
  void onTextureToRasterAfter(KelHook::CPU& cpu);
  void onRasterEsi(KelHook::CPU& cpu, RwRaster*& raster);

  KelHook::Hook<RwRaster*> rasterSiteEbxHook;
  KelHook::Hook<> rasterSiteEdxHook;
  KelHook::Hook<RwRaster*> rasterSiteEaxHook;
  KelHook::Hook<> textureToRasterHook;
  KelHook::Hook<RwRaster*> rasterSiteEsiHook;
  std::string folderName;
  Catalogue animations;
  // Per texture record, its animation (null: not catalogued). The catalogue changes only in the
  // game loop, on the thread that draws (the draw hooks read it without a lock), and whatever is
  // remembered is forgotten whenever it changes.
  TextureNameCache<Animation> namesSeen;
  // Velquor/names.txt; its lines come from name lookups while recordNames (names=1).
  NamesLog namesLog;
  bool recordNames = false;
  // Pick mode; its keys come from Velquor.ini.
  TexturePicker picker;
  unsigned keyConnection = none;
  // The watch and what its last look found, shared with the worker thread while it looks (a
  // look in flight outlives the manager); null when the watch is off.
  struct WatchState {
    explicit WatchState(const std::string& folder) : watch(folder) {}
    FolderWatch watch;
    std::vector<FolderChange> found;
  };
  std::shared_ptr<WatchState> watch;
  std::shared_ptr<DecodeJob> look;  // on the worker; found is the game thread's once it is done
  // Changes found and not acted on yet: a game frame takes only a share of them.
  std::deque<FolderChange> pendingChanges;
  // Animations made from changed files: made on the worker (reading a settings file takes
  // milliseconds), then decoding; each takes its texture's place in the catalogue once its frames
  // are there, and the old frames play until then.
  struct Made {
    std::unique_ptr<Animation> animation;  // null when making it failed
    std::vector<DeferredMessageBoxes::Message> messages;
  };
  struct Replacement {
    std::shared_ptr<DecodeJob> making;  // done: made is the game thread's
    std::shared_ptr<Made> made;
    std::int64_t madeMs;  // FrameClock, when the change was taken in
  };
  std::map<std::string, Replacement> replacements;
  std::atomic<bool> loaded{false};
  unsigned drawConnection = none;
  unsigned gameLoopConnection = none;
  const RwTexture* savedTexture = nullptr;
  Trim::Times trimTimes;
};
