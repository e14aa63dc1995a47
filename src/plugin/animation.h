#pragma once
// One GIF of the folder and what it takes to show it in place of a game texture: its settings,
// its frames (present while Decoded or Uploaded), and the proxy raster handed to the game: a
// copy of the game raster's header that carries the texture of the frame due now.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "plugin/animation_config.h"
#include "plugin/animation_state.h"

class DecodeJob;
class FrameList;
struct IDirect3DTexture9;
struct RwRaster;

class Animation {
 public:
  // base is the path without extension, "Velquor/<name>"; preload decodes the GIF at once
  // (and throws what decoding throws).
  Animation(std::string_view base, bool preload);
  ~Animation();
  Animation(const Animation&) = delete;
  Animation& operator=(const Animation&) = delete;

  // Moves the residency, making or dropping frames and textures. Throws when the GIF cannot be
  // decoded; the state then stays as it was.
  void setState(AnimationState target);

  // The raster the game is to use instead of hostRaster: the proxy, showing the frame due now.
  // At its first use an animation not decoded yet has its GIF decoded on the decode worker and
  // leaves the game its own raster until the frames are there; each frame gets its texture when
  // it is first due. One that cannot be decoded is reported once, from the game loop, and from
  // then on leaves the game's raster as it is. Never throws.
  RwRaster* rasterFor(RwRaster* hostRaster) noexcept;

  // Pixels of the textures that one game frame may make (at least one texture is made).
  static constexpr std::uint64_t TexturePixelsPerFrame = 1024 * 1024;

  // Decoded, but its frames are still being decoded on the worker (frames() is null).
  bool decoding() const { return decoding_ != nullptr; }

  AnimationState state() const { return state_; }
  std::int64_t lastUsed() const { return lastUsed_; }
  bool failed() const { return failed_; }
  const AnimationConfig& config() const { return config_; }
  const FrameList* frames() const { return frames_.get(); }
  const std::string& gifPath() const { return gifPath_; }
  // The texture name: the GIF's file name without its extension.
  const std::string& name() const { return name_; }

 private:
  bool bringIn() noexcept;
  void startDecoding();
  void takeDecoded();
  RwRaster* showCurrentFrame(RwRaster* hostRaster);
  void connectDeviceSlots();
  IDirect3DTexture9* textureToShow(int due);
  IDirect3DTexture9* makeTexture(int frame);
  void onDeviceLost();

  AnimationConfig config_;
  std::unique_ptr<FrameList> frames_;
  std::shared_ptr<DecodeJob> decoding_;  // while Decoded and the frames are on their way
  int lastShown_ = -1;                    // the frame whose texture was shown last
  std::unique_ptr<std::uint8_t[]> proxyRaster_;
  std::uint32_t extensionOffset_;
  std::unique_ptr<std::uint8_t[]> palette_;
  RwRaster* lastHostRaster_ = nullptr;
  bool deviceSlotsConnected_ = false;
  std::string gifPath_;
  std::string name_;
  AnimationState state_ = AnimationState::Unloaded;
  std::int64_t lastUsed_ = 0;
  bool failed_ = false;
};
