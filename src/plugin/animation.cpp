#include "plugin/animation.h"

#include <d3d9.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "framework/frame_clock.h"
#include "framework/kel_render_events.h"
#include "gif/decode_worker.h"
#include "gif/frame_list.h"
#include "gif/memory_limits.h"
#include "gif/memory_use.h"
#include "host/host.h"
#include "png/animation_frames.h"
#include "plugin/fault_report.h"
#include "plugin/file_stamp.h"
#include "plugin/folder_listing.h"
#include "plugin/frame_staging.h"
#include "plugin/message_box.h"
#include "plugin/module_objects.h"
#include "plugin/png_settings.h"

namespace {

std::uint32_t readExtensionOffset() {
  const auto offset = Host::at<std::int32_t>(Host::RasterExtensionOffset);
  if (offset < 0) throw std::runtime_error("The game's raster layout is unknown");
  return static_cast<std::uint32_t>(offset);
}

std::string nameOfBase(std::string_view base) {
  const auto slash = base.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? base : base.substr(slash + 1));
}

std::string hresultText(long error) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(error));
  return text;
}

// The one way a GIF becomes frames, on whichever thread decodes it: within the room left in the
// decoded frames' budget at that moment.
std::unique_ptr<FrameList> decodeFile(const std::string& path, const FrameOptions& options) {
  const std::uint64_t inUse = FrameList::decodedInUse();
  const std::uint64_t room = inUse < Limits::DecodedBudget ? Limits::DecodedBudget - inUse : 0;
  return loadAnimationFrames(path.c_str(), path, room, options);
}

// What the textures made in one game frame may hold: a texture filled in tiles takes a tile at
// least, one made whole is always made first in a game frame, then more while they fit.
class FrameTexturePixels {
 public:
  std::uint64_t& left() {
    const std::uint32_t frame = FrameClock::frameNumber();
    if (frame != frame_) {
      frame_ = frame;
      left_ = Animation::TexturePixelsPerFrame;
    }
    return left_;
  }
  // `kept`: pixels of the game frame left to other textures.
  bool takeWhole(std::uint64_t pixels, std::uint64_t kept) {
    std::uint64_t& rest = left();
    if (rest != Animation::TexturePixelsPerFrame && pixels + kept > rest) return false;
    rest -= pixels < rest ? pixels : rest;
    return true;
  }

 private:
  std::uint32_t frame_ = 0;
  std::uint64_t left_ = Animation::TexturePixelsPerFrame;
};
FrameTexturePixels texturePixelsThisFrame;

}  // namespace

Animation::Animation(std::string_view base, bool preload, bool onGameThread)
    : Animation(base, chooseAnimationFile(base).path, preload, onGameThread) {}

Animation::Animation(std::string_view base, std::string path, bool preload, bool onGameThread)
    : config_(std::string(base) + std::string(SettingsExtension)),
      extensionOffset_(readExtensionOffset()),
      gifPath_(std::move(path)),
      name_(nameOfBase(base)) {
  // The header and the extension may overlap or leave a gap; the block holds both either way.
  const std::size_t proxySize = std::max<std::size_t>(
      Host::RasterHeaderSize, std::size_t{extensionOffset_} + Host::RasterExtensionSize);
  proxyRaster_ = std::make_unique<std::uint8_t[]>(proxySize);  // zero-filled
  // Animations are made in the game's main loop: the staging texture is ready before any draw.
  if (onGameThread) prepareFrameStaging();

  if (preload) {
    try {
      setState(AnimationState::Decoded);
    } catch (const gif_no_room& e) {
      // Not the file's fault: it is decoded when first drawn, if there is room then.
      logOnce(NoFrameRoom, e.what());
    }
  }

  const bool png = animationFileKind(gifPath_) == AnimationFileKind::Png;
  if (png)
    for (const std::string& line : settingsNotForPng(config_, gifPath_)) logProblem(line);
  std::error_code ignored;
  if (!png && std::filesystem::exists(std::filesystem::u8path(config_.path), ignored) &&
      config_.overrides() && config_.number_color_palette)
    palette_ = std::make_unique<std::uint8_t[]>(Host::PaletteRecordSize);
}

Animation::~Animation() {
  dropPromise();
  if (decoding_) decoding_->cancel();
  if (deviceSlotsConnected_ && renderEvents != nullptr) renderEvents->deviceLost.disconnect(lostSlot_);
}

void Animation::setState(AnimationState target) {
  if (state_ == target) {
    if (target == AnimationState::Uploaded && incomplete_) makeTextures();
    return;
  }
  switch (target) {
    case AnimationState::Decoded:
      if (state_ == AnimationState::Uploaded) {
        frames_->releaseTextures();
        dropPromise();
        incomplete_ = false;
      } else {
        adopt(decodeFile(gifPath_, config_.frameOptions()));
      }
      break;
    case AnimationState::Uploaded:
      if (state_ == AnimationState::Unloaded) setState(AnimationState::Decoded);
      if (decoding_) {
        decoding_->wait();
        takeDecoded();
      }
      makeTextures();
      break;
    case AnimationState::Unloaded:
      // A decode in flight is dropped; the worker frees what it made.
      if (decoding_) decoding_->cancel();
      decoding_.reset();
      frames_.reset();
      dropPromise();
      lastShown_ = -1;
      incomplete_ = false;
      nextTry_ = 0;  // a use after this starts decoding again at once
      break;
  }
  state_ = target;
}

void Animation::adopt(std::unique_ptr<FrameList> list) {
  frames_ = std::move(list);
  lastShown_ = -1;
  // Idle time counts from here for an animation not drawn yet.
  lastUsed_ = nowMs();
  if (frames_->frames.empty()) logOnce(NoImages, gifPath_ + " has no images: the game's own texture stays");
  if (frames_->cutShort) logOnce(CutShort, cutShortText(gifPath_, frames_->frames.size()));
}

bool Animation::decoding() const { return decoding_ && !decoding_->done(); }

bool Animation::cutShort() const {
  const FrameList* list = decoding_ && decoding_->done() ? decoding_->frames() : frames_.get();
  return list != nullptr && list->cutShort;
}

void Animation::startDecoding() {
  decoding_ = decodeWorker().request(
      [path = gifPath_, options = config_.frameOptions()] { return decodeFile(path, options); }, 0,
      // Which of the files waiting goes first: its size when the worker comes to it, as it may
      // have been rewritten since it was listed.
      [path = gifPath_] {
        const std::optional<FileStamp> stamp = fileStamp(std::filesystem::u8path(path));
        return stamp ? stamp->size : 0;
      });
  state_ = AnimationState::Decoded;
}

void Animation::decodeInBackground() {
  if (state_ == AnimationState::Unloaded && !decoding_) startDecoding();
}

// The frames from the worker; throws what the decoding threw, and the animation is then Unloaded.
void Animation::takeDecoded() {
  const std::shared_ptr<DecodeJob> job = std::move(decoding_);
  if (const std::exception_ptr error = job->error()) {
    state_ = AnimationState::Unloaded;
    std::rethrow_exception(error);
  }
  adopt(job->takeFrames());
}

// Whether the frames' textures may be made now; logs why not. incomplete_ tells whether to try
// again later.
bool Animation::roomForTextures() {
  incomplete_ = false;
  noTextureRoom_ = false;
  const FrameList& list = *frames_;
  if (list.frames.empty()) return false;
  if (list.width == 0 || list.height == 0) {
    logOnce(EmptyScreen, gifPath_ + " has a screen of " + std::to_string(list.width) + " x " +
                             std::to_string(list.height) + ": the game's own texture stays");
    return false;
  }
  incomplete_ = true;
  IDirect3DDevice9* device = Host::at<IDirect3DDevice9*>(Host::Device);
  if (device == nullptr) {
    logOnce(NoDevice, gifPath_ + ": the game has no Direct3D device yet; textures wait for one");
    return false;
  }
  D3DCAPS9 caps{};
  if (SUCCEEDED(device->GetDeviceCaps(&caps)) &&
      !Limits::fitsDevice(list.width, list.height, caps.MaxTextureWidth, caps.MaxTextureHeight))
    throw gif_too_large(Limits::tooLargeForDeviceText(gifPath_, list.width, list.height,
                                                      caps.MaxTextureWidth, caps.MaxTextureHeight));
  if (!promiseTextures()) {
    noTextureRoom_ = true;
    logOnce(NoTextureRoom, gifPath_ + ": its textures (" +
                               Limits::mib(Limits::textureBytes(list.width, list.height, list.frames.size())) +
                               ") wait: " + Limits::mib(FrameList::texturesTaken()) + " of the " +
                               Limits::mib(Limits::TextureBudget) + " for textures are in use");
    return false;
  }
  incomplete_ = false;
  return true;
}

// Takes room in the texture budget for the textures of all its frames not made yet, before any
// is made; false, taking nothing, when the budget has not that much left.
bool Animation::promiseTextures() {
  const FrameList& list = *frames_;
  const std::uint64_t all = Limits::textureBytes(list.width, list.height, list.framesWithoutTexture());
  if (all <= promised_) return true;
  const std::uint64_t need = all - promised_;
  if (!Limits::texturesFit(FrameList::texturesTaken(), need)) return false;
  promised_ += need;
  MemoryUse::texturesPromised += need;
  return true;
}

// A texture was made for `made`: it now counts as made, no longer as promised.
void Animation::keepPromise(const AnimationFrame& made) {
  const std::uint64_t kept = std::min(promised_, Limits::textureBytes(made.width, made.height, 1));
  promised_ -= kept;
  MemoryUse::texturesPromised -= kept;
}

void Animation::dropPromise() {
  MemoryUse::texturesPromised -= promised_;
  promised_ = 0;
}

// All the frames' textures at once (the game's draws make them one by one instead).
void Animation::makeTextures() {
  if (!roomForTextures()) return;
  const long error = frames_->createTextures(Host::at<IDirect3DDevice9*>(Host::Device));
  if (error != 0) refused(error);
  else dropPromise();  // every texture is made
}

// All the textures or none: a texture missing in the middle would show the game's own between
// frames of the animation.
void Animation::refused(long error) {
  frames_->releaseTextures();
  dropPromise();
  incomplete_ = true;
  logOnce(TexturesRefused, gifPath_ + ": Direct3D made no texture of " + std::to_string(frames_->width) +
                               " x " + std::to_string(frames_->height) + " (error " + hresultText(error) +
                               "); the game's own texture is shown, and textures are tried again");
}

void Animation::logOnce(Problem problem, const std::string& why) {
  if (logged_ & problem) return;
  logged_ |= problem;
  logProblem(why);
}

RwRaster* Animation::rasterFor(RwRaster* hostRaster) noexcept {
  if (hostRaster == nullptr) return nullptr;
  if (failed_) return hostRaster;
  // The game frame's time: no clock read per use.
  const std::int64_t now = FrameClock::nowMs();
  lastUsed_ = now;
  if ((state_ != AnimationState::Uploaded || incomplete_) && !bringIn(now)) return hostRaster;
  return showCurrentFrame(hostRaster, now);
}

// Frames from the worker and the start of playback, or a retry; false while there is nothing to
// show. Never decodes or makes a texture itself: the draw call it runs in is not delayed.
bool Animation::bringIn(std::int64_t now) noexcept {
  try {
    if (!deviceSlotsConnected_) connectDeviceSlots();
    if (decoding_) {
      if (!decoding_->done()) return false;
      takeDecoded();
    } else {
      if (now < nextTry_) return false;
      nextTry_ = now + RetryMs;
      if (state_ == AnimationState::Unloaded) {
        startDecoding();
        return false;
      }
    }
    // The textures come one by one as their frames become due (textureToShow).
    if (!roomForTextures() && noTextureRoom_) nextTry_ = now + RoomRetryMs;
    state_ = AnimationState::Uploaded;
    return !incomplete_;
  } catch (const gif_no_room& e) {
    // Not the file's fault: tried again later, when there may be room.
    nextTry_ = now + RetryMs;
    logOnce(NoFrameRoom, e.what());
    return false;
  } catch (const std::exception& e) {
    // Decoding again on every pass would load the game: report once, then stay out of the way.
    // A modal box inside the game's draw call would stop its frame half-way: the loop shows it.
    failed_ = true;
    guarded("Animation::rasterFor",
            [&] { messageBoxFromGameLoop(loadFailureText(e, gifPath_), loadFailureCaption(name_)); });
  } catch (...) {
    failed_ = true;
    logUnknownFault("Animation::rasterFor");
  }
  return false;
}

RwRaster* Animation::showCurrentFrame(RwRaster* hostRaster, std::int64_t now) {
  auto ready = [this](int frame) { return frames_->frames[frame]->texture || makeTexture(frame); };
  const int shown = frames_->frameDue(now, FrameClock::frameNumber(), ready);
  IDirect3DTexture9* texture = shown < 0 ? nullptr : textureToShow(shown);
  if (texture == nullptr) return hostRaster;

  std::uint8_t* proxy = proxyRaster_.get();
  std::uint8_t* extension = proxy + extensionOffset_;
  const auto* host = reinterpret_cast<const std::uint8_t*>(hostRaster);
  if (!proxyAgrees_.matches(host, proxy, extensionOffset_)) {
    std::memcpy(proxy, host, Host::RasterHeaderSize);
    std::memcpy(extension, host + extensionOffset_, Host::RasterExtensionSize);
    const bool ownPalette = config_.overrides() && palette_;
    if (ownPalette) {
      const std::uint32_t index = *config_.number_color_palette;
      std::memcpy(palette_.get() + Host::PaletteIndexOffset, &index, sizeof index);
      void* palette = palette_.get();
      std::memcpy(extension + Host::ExtensionPalette, &palette, sizeof palette);
    }
    const auto alpha = rasterAlphaFlag(config_, frames_->partialAlpha);
    if (alpha) extension[Host::ExtensionAlpha] = *alpha;
    proxyAgrees_.copied(ownPalette, alpha.has_value());
  }
  std::memcpy(extension + Host::ExtensionTexture, &texture, sizeof texture);
  return reinterpret_cast<RwRaster*>(proxy);
}

void Animation::connectDeviceSlots() {
  // Without the render events there is no reset to follow yet; try again at the next use.
  if (renderEvents == nullptr) return;
  // After a reset the textures come back one by one as their frames become due.
  lostSlot_ = renderEvents->deviceLost.connect([this] { onDeviceLost(); });
  deviceSlotsConnected_ = true;
}

void Animation::onDeviceLost() {
  guarded("Animation::onDeviceLost", [this] {
    if (!frames_ || state_ != AnimationState::Uploaded) return;
    const std::size_t had = frames_->frames.size() - frames_->framesWithoutTexture();
    frames_->releaseTextures();
    // Their room in the budget stays theirs until they come back.
    const std::uint64_t bytes = Limits::textureBytes(frames_->width, frames_->height, had);
    promised_ += bytes;
    MemoryUse::texturesPromised += bytes;
  });
}

// The due frame's texture, made now (or filled further) if it has none. Until it is complete,
// and when the game frame's budget is spent, the frame shown last stays on screen; null when
// there is none.
IDirect3DTexture9* Animation::textureToShow(int due) {
  const auto& frames = frames_->frames;
  IDirect3DTexture9* texture = frames[due]->texture;
  if (texture == nullptr) texture = makeTexture(due);
  if (texture != nullptr) {
    lastShown_ = due;
    return texture;
  }
  return lastShown_ >= 0 ? frames[lastShown_]->texture : nullptr;
}

IDirect3DTexture9* Animation::makeTexture(int frame) {
  AnimationFrame& due = *frames_->frames[frame];
  IDirect3DDevice9* device = Host::at<IDirect3DDevice9*>(Host::Device);
  const std::uint64_t pixels = std::uint64_t{due.width} * due.height;
  const std::uint64_t kept = pixels <= SmallTexturePixels ? 0 : SmallTexturePixels;
  std::uint64_t& left = texturePixelsThisFrame.left();
  if (left <= kept) return nullptr;
  const bool started = due.texture || due.filling();
  long error = 0;
  const FrameStaging staging = frameStaging(device);
  if (staging.texture) {
    std::uint64_t usable = left - kept;
    error = due.fillTexture(device, *staging.texture, frames_->keepBackground, usable);
    left = usable + kept;
  } else if (!staging.tiles && texturePixelsThisFrame.takeWhole(pixels, kept)) {
    error = due.createTexture(device, frames_->keepBackground);
  }
  if (error != 0) refused(error);
  else if (!started && (due.texture || due.filling())) keepPromise(due);
  return due.texture;
}
