#include <memory>

#include "framework/clock.h"
#include "gif/frame_list.h"
#include "gif/gif_decoder.h"

namespace {
// Index memory one list may hold. A small file can declare a huge screen and thousands of
// images, each a full copy of the screen: past this the file is refused, not the process.
constexpr std::uint64_t kMaxListBytes = std::uint64_t{512} << 20;
}  // namespace

std::int64_t nowMs() { return KelClock::nowNs() / 1'000'000; }

FrameList::~FrameList() {
  for (auto& frame : frames) frame.reset();
}

std::unique_ptr<FrameList> FrameList::load(const char* path) {
  std::unique_ptr<GifDecoder, void (*)(GifDecoder*)> gif(gifOpen(path), &gifClose);
  if (!gif) throw std::runtime_error("Cannot open GIF file (missing, not GIF89a, or no global colour table)");

  auto list = std::make_unique<FrameList>();
  const std::uint64_t frameBytes = std::uint64_t{gif->width} * gif->height + sizeof(AnimationFrame);
  std::uint64_t listBytes = 0;
  for (;;) {
    auto frame = std::make_unique<AnimationFrame>();
    listBytes += frameBytes;
    if (listBytes > kMaxListBytes) throw std::runtime_error("GIF animation too large");
    try {
      frame->build(gif.get(), list->frames.empty() ? nullptr : list->frames.back().get());
    } catch (const no_frames_in_gif&) {
      break;
    } catch (const read_frame_error&) {
      throw std::runtime_error("GIF file is corrupt!");
    }
    list->totalDuration += frame->delay;
    list->frames.push_back(std::move(frame));
  }
  list->loopCount = gif->loopCount;
  list->width = gif->width;
  list->height = gif->height;
  return list;
}

void FrameList::createTextures(IDirect3DDevice9* device) {
  for (auto& frame : frames) frame->createTexture(device, keepBackground);
}

void FrameList::releaseTextures() {
  for (auto& frame : frames) frame->releaseTexture();
}

IDirect3DTexture9* FrameList::currentTexture() {
  if (frames.empty()) return nullptr;
  if (finished()) return frames.back()->texture;
  const std::int64_t now = nowMs();
  // Idle for more than a whole animation (or never started): start again from the first frame.
  if (frameStart + totalDuration < now) {
    current = 0;
    frameStart = now;
    return frames.front()->texture;
  }
  if (now < frameStart + frames[current]->delay) return frames[current]->texture;
  if (++current == static_cast<int>(frames.size())) {
    current = 0;
    if (loopCount != 0 && ++loopsDone >= loopCount) return frames.back()->texture;
  }
  frameStart = now;
  return frames[current]->texture;
}

void FrameList::rewind() {
  loopsDone = 0;
  current = 0;
  frameStart = 0;
}
