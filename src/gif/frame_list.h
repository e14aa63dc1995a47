#pragma once
// One GIF animation ready for display: every image composed over the frames before it, with its
// palette and delay, Direct3D 9 textures made on request, and the choice of the frame due now.
//
// Textures exist only in the Windows build. The native build has no Direct3D: there
// createTexture has nothing to make (no device can exist) and frames never hold a texture;
// everything else (loading, composing, the pixels a texture would get, playback) is the same.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "gif/animation_frame.h"
#include "gif/frame_options.h"
#include "gif/memory_limits.h"
#include "gif/memory_use.h"

// FrameList::load's refusals that are not about a broken file; what() is the player's message.
// A GIF that can never be shown within the limits (memory_limits.h) or by the device.
struct gif_too_large : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Memory ran out while decoding.
struct gif_no_memory : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The room left in the decoded-frames budget was too small: nothing wrong with the file, it may
// fit later.
struct gif_no_room : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Whether frame `index` of a list can be shown now (its texture complete), asked of the frame
// playback is about to move to; it may do work towards that (fill the texture). Not owning: the
// check it wraps outlives the call it is passed to. Empty: every frame is ready.
class FrameReady {
 public:
  FrameReady() = default;
  template <typename Check, typename = std::enable_if_t<!std::is_same_v<std::decay_t<Check>, FrameReady>>>
  FrameReady(Check& check)
      : context_(&check), call_([](void* context, int index) { return (*static_cast<Check*>(context))(index); }) {}
  bool operator()(int index) const { return call_ == nullptr || call_(context_, index); }

 private:
  void* context_ = nullptr;
  bool (*call_)(void*, int) = nullptr;
};

class FrameList {
 public:
  std::vector<std::unique_ptr<AnimationFrame>> frames;  // file order
  bool keepBackground = false;
  bool honourLoopCount = false;    // see runsBeforeStop
  int current = 0;
  std::uint32_t loopsDone = 0;
  bool playing = false;            // false before playback starts and after rewind
  std::int64_t frameStart = 0;     // ms, when the current frame was first shown
  std::int64_t lastShown = 0;      // ms, the last call of advance
  std::uint32_t lastGameFrame = 0; // the game frame of the last call, when the caller knows it
  std::int64_t totalDuration = 0;  // ms, sum of the frames' delays
  std::uint16_t loopCount = 0;     // 0 = endless
  bool loopCountGiven = false;     // the file has a NETSCAPE extension
  bool cutShort = false;           // the file ends before its trailer: these frames are all it has
  std::uint16_t width = 0, height = 0;
  bool partialAlpha = false;       // some pixel is neither opaque nor fully transparent (PNG)

  FrameList() = default;
  FrameList(const FrameList&) = delete;
  FrameList& operator=(const FrameList&) = delete;
  virtual ~FrameList();

  // Not drawn for longer than this (and than the whole animation): out of view, and playback
  // starts again. Shorter gaps are game frames, however slow.
  static constexpr std::int64_t OutOfViewMs = 1'000;

  // Decodes every image of the file, composed and played as `options` ask; a file cut short
  // gives the images it has (cutShort). Throws
  // std::runtime_error: "GIF file is corrupt!" for a malformed image; another message when the
  // file cannot be opened as a GIF89a file with a global colour table; gif_too_large when its
  // frames or their textures pass a budget on their own (memory_limits.h); gif_no_memory when
  // memory runs out; gif_no_room when its frames need more than `decodedRoom` bytes. Messages
  // name the file as `shownName` (the path if empty).
  static std::unique_ptr<FrameList> load(const char* path, std::string_view shownName = {},
                                         std::uint64_t decodedRoom = UINT64_MAX,
                                         const FrameOptions& options = {});

  // Memory that frames of this size take, as load and the budgets count it.
  static std::uint64_t decodedBytes(std::uint64_t width, std::uint64_t height, std::uint64_t frames,
                                    FramePixels kind = FramePixels::Indexed);
  // What all frames and textures of every list hold right now, in bytes.
  static std::uint64_t decodedInUse();
  static std::uint64_t texturesInUse();
  // What the texture budget holds: the textures made and those animations have taken room for.
  static std::uint64_t texturesTaken();

  // Refuses, before it is made, a frame that would take a list past a budget: the textures of
  // `count` frames, the decoded budget, or the room left now (`othersAtStart`: the decoded memory
  // of every list when loading began; what other lists made since takes from the room too).
  // `allFrames()` says how many frames the file has; asked only to word a refusal, since a GIF
  // must read the rest of its file to tell.
  template <typename AllFrames>
  static void checkRoomForFrame(const std::string& file, std::uint64_t width, std::uint64_t height,
                                FramePixels kind, std::uint64_t count, AllFrames&& allFrames,
                                std::uint64_t decodedRoom, std::uint64_t othersAtStart) {
    if (!Limits::texturesFit(0, Limits::textureBytes(width, height, count)))
      throw gif_too_large(Limits::texturesTooLargeText(file, width, height, allFrames()));
    const std::uint64_t bytes = decodedBytes(width, height, count, kind);
    if (bytes > Limits::DecodedBudget) {
      const std::uint64_t all = allFrames();
      throw gif_too_large(Limits::framesTooLargeText(file, width, height, all, decodedBytes(width, height, all, kind)));
    }
    const std::uint64_t others = MemoryUse::decoded.load() - decodedBytes(width, height, count - 1, kind);
    const std::uint64_t taken = others > othersAtStart ? others - othersAtStart : 0;
    if (bytes + taken > decodedRoom) throw gif_no_room(file + ": no room in the decoded frames' budget now");
  }

  void setKeepBackground(bool keep) { keepBackground = keep; }
  // Returns the first error of a frame that got no texture (0 when none failed).
  long createTextures(IDirect3DDevice9* device);
  void releaseTextures();
  // Frames without a texture, complete or being filled.
  std::size_t framesWithoutTexture() const;
  // The texture of the frame due now (null without frames or texture); advances playback.
  IDirect3DTexture9* currentTexture();
  // The number of the frame due at `now`, advancing playback (-1 without frames): at most one
  // frame further per call; a frame's time counts from the call that first shows it; a frame with
  // delay 0 is shown for one call; after a pause longer than OutOfViewMs and the whole animation
  // it starts again from the first frame. `gameFrame`, when the caller counts the game's frames,
  // keeps a texture drawn in the game frame before this one in view however long that frame took
  // (a message box, a slow disk). Once finished it shows the last frame; with the loop count
  // honoured, until a pause that counts as out of view starts it again. A frame that is not
  // `ready` when due is waited for, never skipped: the frame before it stays (-1 while the first
  // is not ready, nothing shown yet) and its time starts when it is ready.
  static constexpr std::uint32_t UnknownGameFrame = 0;
  int advance(std::int64_t now, std::uint32_t gameFrame = UnknownGameFrame, FrameReady ready = {});
  // The frame the module shows at `now`: advance, and unless the loop count is honoured an
  // animation that finished starts again at once, so that it repeats for ever.
  int frameDue(std::int64_t now, std::uint32_t gameFrame = UnknownGameFrame, FrameReady ready = {});
  // How many times playback runs through the frames before it finishes; 0: never. With the loop
  // count honoured, as browsers read it: once without a NETSCAPE extension, for ever for a count
  // of 0, and a count of N repeats the animation N times after the first run. Otherwise the
  // count itself (each finish is then only a last frame shown one call longer).
  std::uint32_t runsBeforeStop() const;
  bool finished() const;
  void rewind();

 private:
  // The game frame in which frameDue answers `current` at once (UnknownGameFrame: none).
  std::uint32_t steadyIn_ = UnknownGameFrame;
};
