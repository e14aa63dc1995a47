#include "plugin/animation.h"

#include <d3d9.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "framework/kel_render_events.h"
#include "gif/frame_list.h"
#include "gif/memory_limits.h"
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

std::string hresultText(long error) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(error));
  return text;
}

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

  if (preload) {
    try {
      setState(AnimationState::Decoded);
    } catch (const gif_no_room& e) {
      // Not the file's fault: it is decoded when first drawn, if there is room then.
      logOnce(NoFrameRoom, e.what());
    }
  }

  std::error_code ignored;
  if (std::filesystem::exists(std::filesystem::u8path(config_.path), ignored) &&
      config_.overrides() && config_.number_color_palette)
    palette_ = std::make_unique<std::uint8_t[]>(Host::PaletteRecordSize);
}

Animation::~Animation() {
  if (deviceSlotsConnected_ && renderEvents != nullptr) {
    renderEvents->deviceLost.disconnect(lostSlot_);
    renderEvents->deviceReset.disconnect(resetSlot_);
  }
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
        incomplete_ = false;
      } else {
        decode();
      }
      break;
    case AnimationState::Uploaded:
      if (state_ == AnimationState::Unloaded) setState(AnimationState::Decoded);
      makeTextures();
      break;
    case AnimationState::Unloaded:
      frames_.reset();
      incomplete_ = false;
      break;
  }
  state_ = target;
}

void Animation::decode() {
  const std::uint64_t inUse = FrameList::decodedInUse();
  const std::uint64_t room = inUse < Limits::DecodedBudget ? Limits::DecodedBudget - inUse : 0;
  std::unique_ptr<FrameList> list = FrameList::load(gifPath_.c_str(), gifPath_, room);
  list->setKeepBackground(config_.keepBackground());
  frames_ = std::move(list);
  // Idle time counts from here for an animation not drawn yet.
  lastUsed_ = nowMs();
  if (frames_->frames.empty()) logOnce(NoImages, gifPath_ + " has no images: the game's own texture stays");
}

// All the frames' textures or none: a texture missing in the middle would show the game's own
// between frames of the animation.
void Animation::makeTextures() {
  incomplete_ = false;
  noTextureRoom_ = false;
  const FrameList& list = *frames_;
  if (list.frames.empty()) return;
  if (list.width == 0 || list.height == 0) {
    logOnce(EmptyScreen, gifPath_ + " has a screen of " + std::to_string(list.width) + " x " +
                             std::to_string(list.height) + ": the game's own texture stays");
    return;
  }
  incomplete_ = true;
  IDirect3DDevice9* device = Host::at<IDirect3DDevice9*>(Host::Device);
  if (device == nullptr) {
    logOnce(NoDevice, gifPath_ + ": the game has no Direct3D device yet; textures wait for one");
    return;
  }
  D3DCAPS9 caps{};
  if (SUCCEEDED(device->GetDeviceCaps(&caps)) &&
      !Limits::fitsDevice(list.width, list.height, caps.MaxTextureWidth, caps.MaxTextureHeight))
    throw gif_too_large(Limits::tooLargeForDeviceText(gifPath_, list.width, list.height,
                                                      caps.MaxTextureWidth, caps.MaxTextureHeight));
  const std::uint64_t need = Limits::textureBytes(list.width, list.height, list.framesWithoutTexture());
  const std::uint64_t inUse = FrameList::texturesInUse();
  if (inUse + need > Limits::TextureBudget) {
    noTextureRoom_ = true;
    logOnce(NoTextureRoom, gifPath_ + ": its textures (" + Limits::mib(need) + ") wait: " +
                               Limits::mib(inUse) + " of the " + Limits::mib(Limits::TextureBudget) +
                               " for textures are in use");
    return;
  }
  const long error = frames_->createTextures(device);
  if (error != 0) {
    frames_->releaseTextures();
    logOnce(TexturesRefused, gifPath_ + ": Direct3D made no texture of " + std::to_string(list.width) +
                                 " x " + std::to_string(list.height) + " (error " + hresultText(error) +
                                 "); the game's own texture is shown, and textures are tried again");
    return;
  }
  incomplete_ = false;
}

void Animation::logOnce(Problem problem, const std::string& why) {
  if (logged_ & problem) return;
  logged_ |= problem;
  logProblem(why);
}

// Frames and textures for the first use or a retry; false while there is nothing to show.
bool Animation::bringIn(std::int64_t now) {
  if (now < nextTry_) return false;
  nextTry_ = now + RetryMs;
  try {
    setState(AnimationState::Uploaded);
  } catch (const gif_no_room& e) {
    logOnce(NoFrameRoom, e.what());
    return false;
  }
  return !incomplete_;
}

RwRaster* Animation::rasterFor(RwRaster* hostRaster) noexcept {
  if (hostRaster == nullptr) return nullptr;
  if (failed_) return hostRaster;
  try {
    const std::int64_t now = nowMs();
    lastUsed_ = now;
    if (!deviceSlotsConnected_) connectDeviceSlots();
    if ((state_ != AnimationState::Uploaded || incomplete_) && !bringIn(now)) return hostRaster;
    return showCurrentFrame(hostRaster, now);
  } catch (const std::exception& e) {
    // Decoding again on every pass would stall the game: report once, then stay out of the way.
    failed_ = true;
    guarded("Animation::rasterFor", [&] { messageBox(loadFailureText(e, gifPath_), loadFailureCaption(name_)); });
  } catch (...) {
    failed_ = true;
    logUnknownFault("Animation::rasterFor");
  }
  return hostRaster;
}

RwRaster* Animation::showCurrentFrame(RwRaster* hostRaster, std::int64_t now) {
  const int shown = frames_->advance(now);
  // Whatever loop count the file gives, the animation repeats for ever.
  if (frames_->finished()) frames_->rewind();
  IDirect3DTexture9* texture = shown < 0 ? nullptr : frames_->frames[shown]->texture;
  if (texture == nullptr) return hostRaster;

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
  lostSlot_ = renderEvents->deviceLost.connect([this] { onDeviceLost(); });
  resetSlot_ = renderEvents->deviceReset.connect([this] { onDeviceReset(); });
  deviceSlotsConnected_ = true;
}

void Animation::onDeviceLost() {
  guarded("Animation::onDeviceLost", [this] {
    if (frames_ && state_ == AnimationState::Uploaded) {
      frames_->releaseTextures();
      // Made again by the reset, or, if that never comes, at a later use.
      incomplete_ = true;
    }
  });
}

void Animation::onDeviceReset() {
  guarded("Animation::onDeviceReset", [this] {
    if (frames_ && state_ == AnimationState::Uploaded) makeTextures();
  });
}
