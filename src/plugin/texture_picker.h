#pragma once
// Pick mode: a key turns it on and off, two keys step through the textures the game drew in the
// last frame, one saves the picked texture's picture, as the game has it, to
// Velquor/picked/<name>.png and its name to the names log. The picked texture is drawn with a
// blinking pattern in its place and its name, size and format stand on screen. While off it
// costs the texture sites one test of `on` and nothing else: no draw slot, no lists.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "host/host.h"
#include "plugin/module_settings.h"

class KelTextResource;
class NamesLog;
struct IDirect3DDevice9;
struct IDirect3DTexture9;
struct RwRaster;
struct RwTexture;

class TexturePicker {
 public:
  static constexpr std::int64_t BlinkMs = 250;  // the highlight shows this long, then the texture

  TexturePicker(std::string folder, PickKeys keys, NamesLog& namesLog);
  ~TexturePicker();
  TexturePicker(const TexturePicker&) = delete;
  TexturePicker& operator=(const TexturePicker&) = delete;

  void setKeys(const PickKeys& keys) { keys_ = keys; }

  // True while pick mode is on: only then does a texture site call onUse.
  bool on = false;

  // A texture site while on: notes the texture as drawn in this frame; the picked one gets the
  // highlight in place of raster (gameRaster: the game's own, before any animation).
  void onUse(const RwTexture* texture, RwRaster* gameRaster, RwRaster*& raster) noexcept;
  // The game loop: a frame ends.
  void frameEnds();
  // A key went down; true when it is one of pick mode's (the game then does not see it).
  bool onKey(int virtualKey);
  // The draw point while on: saves what was asked for and draws the text.
  void onDraw();
  // Default-pool objects go before a device reset.
  void onDeviceLost();

  // For tests and the text: the picked texture's name, "" when none.
  const std::string& pickedName() const { return picked_.name; }
  const std::string& status() const { return status_; }

 private:
  struct Drawn {
    const void* record;
    std::string name;
  };
  struct Picked {
    const void* record = nullptr;
    std::string name;
    int width = 0, height = 0;
    std::uint32_t format = 0;
    bool hasTexture = false;
    bool animated = false;
    int index = 0, count = 0;  // its place among the textures drawn, from 1
  };

  void step(int by);
  RwRaster* highlight(RwRaster* raster);
  void save(IDirect3DDevice9* device);
  void drawText(IDirect3DDevice9* device);
  std::string pickedLine() const;

  std::string folder_;
  PickKeys keys_;
  NamesLog& namesLog_;
  std::vector<Drawn> drawing_, drawn_;
  std::unordered_set<const void*> drawingSet_;
  Picked picked_;
  bool saveAsked_ = false;
  IDirect3DTexture9* toSave_ = nullptr;  // referenced: the game may drop it before the draw point
  std::string status_;
  std::unique_ptr<std::uint8_t[]> proxy_;
  IDirect3DTexture9* pattern_ = nullptr;  // managed: survives a reset
  std::unique_ptr<KelTextResource> lines_[2];
  std::string shown_[2];
  unsigned drawSlot_ = 0xFFFFFFFFu;
  unsigned lostSlot_ = 0xFFFFFFFFu;
};
