#include "plugin/animation.h"

#include <d3d9.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "framework/frame_clock.h"
#include "framework/kel_render_events.h"
#include "gif/decode_worker.h"
#include "gif/frame_list.h"
#include "host/host.h"
#include "plugin/fault_report.h"
#include "plugin/folder_listing.h"
#include "plugin/message_box.h"
#include "plugin/module_objects.h"

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

// The one way a GIF becomes frames, on whichever thread decodes it.
std::unique_ptr<FrameList> decodeFile(const std::string& path, bool keepBackground) {
  std::unique_ptr<FrameList> list = FrameList::load(path.c_str());
  list->setKeepBackground(keepBackground);
  return list;
}

// What the textures made in one game frame may hold: a frame's texture is made whole, so the
// first of a frame is always made, then more while they fit.
class FrameTexturePixels {
 public:
  bool take(std::uint64_t pixels) {
    const std::uint32_t frame = FrameClock::frameNumber();
    if (frame != frame_) {
      frame_ = frame;
      taken_ = 0;
    }
    if (taken_ != 0 && taken_ + pixels > Animation::TexturePixelsPerFrame) return false;
    taken_ += pixels;
    return true;
  }

 private:
  std::uint32_t frame_ = 0;
  std::uint64_t taken_ = 0;
};
FrameTexturePixels texturePixelsThisFrame;

}  // namespace

Animation::Animation(std::string_view base, bool preload)
    : config_(std::string(base) + ".cfg"),
      extensionOffset_(readExtensionOffset()),
      gifPath_(std::string(base) + ".gif"),
      name_(nameOfBase(base)) {
  // The header and the extension may overlap or leave a gap; the block holds both either way.
  const std::size_t proxySize = std::max<std::size_t>(
      Host::RasterHeaderSize, std::size_t{extensionOffset_} + Host::RasterExtensionSize);
  proxyRaster_ = std::make_unique<std::uint8_t[]>(proxySize);  // zero-filled

  if (preload) setState(AnimationState::Decoded);

  std::error_code ignored;
  if (std::filesystem::exists(std::filesystem::u8path(config_.path), ignored) &&
      config_.overrides() && config_.number_color_palette)
    palette_ = std::make_unique<std::uint8_t[]>(Host::PaletteRecordSize);
}

Animation::~Animation() = default;

void Animation::setState(AnimationState target) {
  if (state_ == target) return;
  switch (target) {
    case AnimationState::Decoded:
      if (state_ == AnimationState::Uploaded) {
        frames_->releaseTextures();
      } else {
        frames_ = decodeFile(gifPath_, config_.keepBackground());
      }
      break;
    case AnimationState::Uploaded:
      if (state_ == AnimationState::Unloaded) setState(AnimationState::Decoded);
      if (decoding_) {
        decoding_->wait();
        takeDecoded();
      }
      frames_->createTextures(Host::at<IDirect3DDevice9*>(Host::Device));
      break;
    case AnimationState::Unloaded:
      // A decode in flight is dropped; the worker frees what it made.
      if (decoding_) decoding_->cancel();
      decoding_.reset();
      frames_.reset();
      lastShown_ = -1;
      break;
  }
  state_ = target;
}

RwRaster* Animation::rasterFor(RwRaster* hostRaster) noexcept {
  if (hostRaster == nullptr) return nullptr;
  if (failed_) return hostRaster;
  lastUsed_ = FrameClock::nowMs();
  if (state_ != AnimationState::Uploaded && !bringIn()) return hostRaster;
  return showCurrentFrame(hostRaster);
}

// Frames from the worker, and playback from then on; false while there is nothing to show.
bool Animation::bringIn() noexcept {
  try {
    if (!deviceSlotsConnected_) connectDeviceSlots();
    if (state_ == AnimationState::Unloaded) {
      startDecoding();
      return false;
    }
    if (decoding_) {
      if (!decoding_->done()) return false;
      takeDecoded();
    }
    // The textures come one by one, as their frames become due.
    state_ = AnimationState::Uploaded;
    return true;
  } catch (const std::exception& e) {
    // Decoding again on every pass would load the game: report once, then stay out of the way.
    // A modal box inside the game's draw call would stop its frame half-way: the loop shows it.
    failed_ = true;
    messageBoxFromGameLoop(e.what(), loadFailureCaption(name_));
  } catch (...) {
    failed_ = true;
    logUnknownFault("Animation::rasterFor");
  }
  return false;
}

void Animation::startDecoding() {
  decoding_ = decodeWorker().request(
      [path = gifPath_, keep = config_.keepBackground()] { return decodeFile(path, keep); });
  state_ = AnimationState::Decoded;
}

void Animation::takeDecoded() {
  const std::shared_ptr<DecodeJob> job = std::move(decoding_);
  if (const std::exception_ptr error = job->error()) {
    state_ = AnimationState::Unloaded;
    std::rethrow_exception(error);
  }
  frames_ = job->takeFrames();
  lastShown_ = -1;
}

RwRaster* Animation::showCurrentFrame(RwRaster* hostRaster) {
  IDirect3DTexture9* texture = frames_->currentTexture();
  const int due = frames_->finished() ? static_cast<int>(frames_->frames.size()) - 1 : frames_->current;
  // Whatever loop count the file gives, the animation repeats for ever.
  if (frames_->finished()) frames_->rewind();
  if (!frames_->frames.empty()) {
    texture = textureToShow(due);
    if (texture == nullptr) return hostRaster;
  }

  std::uint8_t* proxy = proxyRaster_.get();
  std::uint8_t* extension = proxy + extensionOffset_;
  if (hostRaster != lastHostRaster_) {
    const auto* host = reinterpret_cast<const std::uint8_t*>(hostRaster);
    std::memcpy(proxy, host, Host::RasterHeaderSize);
    std::memcpy(extension, host + extensionOffset_, Host::RasterExtensionSize);
    lastHostRaster_ = hostRaster;
    if (config_.overrides()) {
      if (palette_) {
        const std::uint32_t index = *config_.number_color_palette;
        std::memcpy(palette_.get() + Host::PaletteIndexOffset, &index, sizeof index);
        void* palette = palette_.get();
        std::memcpy(extension + Host::ExtensionPalette, &palette, sizeof palette);
      }
      if (config_.alpha) extension[Host::ExtensionAlpha] = *config_.alpha;
    }
  }
  std::memcpy(extension + Host::ExtensionTexture, &texture, sizeof texture);
  return reinterpret_cast<RwRaster*>(proxy);
}

void Animation::connectDeviceSlots() {
  // Without the render events there is no reset to follow yet; try again at the next use.
  if (renderEvents == nullptr) return;
  // After a reset the textures come back as their frames become due.
  renderEvents->deviceLost.connect([this] { onDeviceLost(); });
  deviceSlotsConnected_ = true;
}

void Animation::onDeviceLost() {
  guarded("Animation::onDeviceLost", [this] {
    if (frames_ && state_ == AnimationState::Uploaded) frames_->releaseTextures();
  });
}

// The due frame's texture, made now if it has none. When the frame's budget is spent (or
// Direct3D refused), the frame shown last stays on screen; null when there is none.
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
  if (!texturePixelsThisFrame.take(std::uint64_t{due.width} * due.height)) return nullptr;
  due.createTexture(Host::at<IDirect3DDevice9*>(Host::Device), frames_->keepBackground);
  return due.texture;
}
