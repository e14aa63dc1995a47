#pragma once
// One GIF of the folder and what it takes to show it in place of a game texture: its settings,
// its frames (present while Decoded or Uploaded), and the proxy raster handed to the game: a
// copy of the game raster's header that carries the texture of the frame due now. Whenever there
// is no texture to show (no images, no room in a budget, a device that refused) the game keeps
// its own raster; textures are tried again at most once per RetryMs, and why is logged once.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "plugin/animation_config.h"
#include "plugin/animation_state.h"
#include "plugin/proxy_agreement.h"

class DecodeJob;
class FrameList;
struct AnimationFrame;
struct IDirect3DTexture9;
struct RwRaster;

class Animation {
 public:
  // base is the path without extension, "Velquor/<name>"; preload decodes the GIF at once
  // (and throws what decoding throws). Made off the game's thread while the game runs, it leaves
  // the frames' staging texture alone (onGameThread false): the caller prepares it there.
  Animation(std::string_view base, bool preload, bool onGameThread = true);
  // The same, playing `path`, the file chooseAnimationFile chose for `base` (asked once by a
  // caller that had to know it already).
  Animation(std::string_view base, std::string path, bool preload, bool onGameThread = true);
  // Gives back its textures and frames, drops a decode in flight and leaves the device events.
  ~Animation();

  static constexpr std::int64_t RetryMs = 1'000;
  // Sooner while waiting for room in the texture budget: others out of view give it at once.
  static constexpr std::int64_t RoomRetryMs = 100;
  Animation(const Animation&) = delete;
  Animation& operator=(const Animation&) = delete;

  // Moves the residency, making or dropping frames and textures. Throws when the GIF cannot be
  // decoded (gif_no_room included) or is too large for the device; the state then stays as it
  // was. Uploaded may end without textures (see waitingForTextures).
  void setState(AnimationState target);

  // The raster the game is to use instead of hostRaster: the proxy, showing the frame due now,
  // or hostRaster while there is no texture to show. At its first use an animation not decoded
  // yet has its GIF decoded on the decode worker and leaves the game its own raster until the
  // frames are there; each frame gets its texture when it is first due. An animation whose GIF
  // cannot be decoded or shown is reported once, from the game loop, and from then on leaves the
  // game's raster as it is. Never throws.
  RwRaster* rasterFor(RwRaster* hostRaster) noexcept;

  // Sends the GIF to the decode worker now, as a first use would: for a file that changed while
  // the game runs, whose old frames stay shown until the new ones are there.
  void decodeInBackground();

  // Uploaded, but its textures cannot be made now: tried again at a later use.
  bool waitingForTextures() const { return incomplete_; }
  // The reason was the texture budget.
  bool waitingForTextureRoom() const { return incomplete_ && noTextureRoom_; }
  // Decoded, but the decode worker has not finished its frames yet (frames() is null).
  bool decoding() const;
  // Its GIF ends before its trailer (frames from the worker not taken yet included).
  bool cutShort() const;
  // Idle time counts from now: for an animation that takes another's place before it is drawn.
  void startIdleClock(std::int64_t now) { lastUsed_ = now; }

  // Pixels of the textures that one game frame may fill: a tile at least (frame_tiles.h), or a
  // whole texture on a device that cannot take tiles.
  static constexpr std::uint64_t TexturePixelsPerFrame = 256 * 1024;
  // Of those, the last ones, as many as a tile holds, go only to textures of at most this many
  // pixels: a small animation coming into view is not held back by large ones being filled.
  static constexpr std::uint64_t SmallTexturePixels = 64 * 1024;

  AnimationState state() const { return state_; }
  std::int64_t lastUsed() const { return lastUsed_; }
  bool failed() const { return failed_; }
  const AnimationConfig& config() const { return config_; }
  const FrameList* frames() const { return frames_.get(); }
  const std::string& gifPath() const { return gifPath_; }
  // The texture name: the GIF's file name without its extension.
  const std::string& name() const { return name_; }

 private:
  enum Problem : std::uint8_t {
    NoImages = 1, EmptyScreen = 2, NoDevice = 4, NoTextureRoom = 8, TexturesRefused = 16, NoFrameRoom = 32,
    CutShort = 64
  };
  void adopt(std::unique_ptr<FrameList> list);
  void startDecoding();
  void takeDecoded();
  bool roomForTextures();
  bool promiseTextures();
  void keepPromise(const AnimationFrame& made);
  void dropPromise();
  void makeTextures();
  void refused(long error);
  bool bringIn(std::int64_t now) noexcept;
  void logOnce(Problem problem, const std::string& why);
  RwRaster* showCurrentFrame(RwRaster* hostRaster, std::int64_t now);
  IDirect3DTexture9* textureToShow(int due);
  IDirect3DTexture9* makeTexture(int frame);
  void connectDeviceSlots();
  void onDeviceLost();

  AnimationConfig config_;
  std::unique_ptr<FrameList> frames_;
  std::shared_ptr<DecodeJob> decoding_;  // while Decoded and the frames are on their way
  int lastShown_ = -1;                    // the frame whose texture was shown last
  std::unique_ptr<std::uint8_t[]> proxyRaster_;
  std::uint32_t extensionOffset_;
  std::unique_ptr<std::uint8_t[]> palette_;
  ProxyAgreement proxyAgrees_;  // whether the proxy still stands for the game raster
  bool deviceSlotsConnected_ = false;
  unsigned lostSlot_ = 0;
  bool incomplete_ = false;
  bool noTextureRoom_ = false;
  // Bytes of the texture budget taken for textures of its frames not made yet: while Uploaded,
  // made and promised together are all its frames' textures, so those drawn together never pass
  // the budget whatever order their textures come in.
  std::uint64_t promised_ = 0;
  std::int64_t nextTry_ = 0;  // ms: no attempt to bring frames or textures in before
  std::uint8_t logged_ = 0;   // Problem bits already written to the log
  std::string gifPath_;
  std::string name_;
  AnimationState state_ = AnimationState::Unloaded;
  std::int64_t lastUsed_ = 0;
  bool failed_ = false;
};
