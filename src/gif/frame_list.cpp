#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <string>

#include "framework/clock.h"
#include "gif/decode_worker.h"
#include "gif/frame_list.h"
#include "gif/gif_decoder.h"
#include "gif/image_disposal.h"
#include "gif/memory_limits.h"
#include "gif/memory_use.h"

namespace {

// Images left in the stream, decoded into the decoder's own screen only: how many frames a file
// that is refused part way would have needed. Stops at a malformed image.
std::uint64_t countImages(GifDecoder* gif) {
  std::uint64_t images = 0;
  while (gifNextFrame(gif) == 1) ++images;
  return images;
}

}  // namespace


FrameList::~FrameList() {
  for (auto& frame : frames) frame.reset();
}

std::uint64_t FrameList::decodedBytes(std::uint64_t width, std::uint64_t height, std::uint64_t frames,
                                      FramePixels kind) {
  return (width * height * bytesPerPixel(kind) + sizeof(AnimationFrame)) * frames;
}

std::uint64_t FrameList::decodedInUse() { return MemoryUse::decoded.load(); }
std::uint64_t FrameList::texturesInUse() { return MemoryUse::textures.load(); }
std::uint64_t FrameList::texturesTaken() { return MemoryUse::textures.load() + MemoryUse::texturesPromised.load(); }

std::unique_ptr<FrameList> FrameList::load(const char* path, std::string_view shownName,
                                           std::uint64_t decodedRoom, const FrameOptions& options) {
  const std::string file(shownName.empty() ? std::string_view(path) : shownName);
  GifOpenFailure failure;
  std::unique_ptr<GifDecoder, void (*)(GifDecoder*)> gif(gifOpen(path, &failure), &gifClose);
  if (!gif) {
    if (failure.reason == GifOpenFailure::ScreenTooLarge)
      throw gif_too_large(Limits::screenTooLargeText(file, failure.width, failure.height));
    if (failure.reason == GifOpenFailure::NoMemory)
      throw gif_no_memory(Limits::noMemoryText(file, failure.width, failure.height, 1,
                                               decodedBytes(failure.width, failure.height, 1)));
    throw std::runtime_error("Cannot open GIF file (missing, not GIF89a, or no global colour table)");
  }

  auto list = std::make_unique<FrameList>();
  const unsigned width = gif->width, height = gif->height;
  list->width = gif->width;
  list->height = gif->height;
  ImageDisposal disposal;
  // Frames other lists made meanwhile (a smaller GIF let through between these frames) take
  // from the room too (checkRoomForFrame).
  const std::uint64_t othersAtStart = MemoryUse::decoded.load();
  for (;;) {
    const int result = gifNextFrame(gif.get());
    if (result == 0) break;
    if (result != 1) throw std::runtime_error("GIF file is corrupt!");
    // Counted before the frame is made: only images the file really has.
    const std::uint64_t count = list->frames.size() + 1;
    checkRoomForFrame(file, width, height, FramePixels::Indexed, count,
                      [&] { return count + countImages(gif.get()); }, decodedRoom, othersAtStart);
    try {
      auto frame = std::make_unique<AnimationFrame>();
      frame->compose(gif.get(), list->frames.empty() ? nullptr : list->frames.back().get(),
                     options.honourDisposal ? &disposal : nullptr);
      list->totalDuration += frame->delay;
      list->frames.push_back(std::move(frame));
    } catch (const std::bad_alloc&) {
      const std::uint64_t all = count + countImages(gif.get());
      list.reset();
      throw gif_no_memory(Limits::noMemoryText(file, width, height, all, decodedBytes(width, height, all)));
    }
    DecodeWorker::letSmallerJobsThrough();
  }
  list->loopCount = gif->loopCount;
  list->loopCountGiven = gif->loopCountRead != 0;
  list->cutShort = gif->endedEarly != 0;
  list->keepBackground = options.keepBackground;
  list->honourLoopCount = options.honourLoopCount;
  return list;
}

long FrameList::createTextures(IDirect3DDevice9* device) {
  long firstError = 0;
  for (auto& frame : frames) {
    const long error = frame->createTexture(device, keepBackground);
    if (error != 0 && firstError == 0) firstError = error;
  }
  return firstError;
}

void FrameList::releaseTextures() {
  for (auto& frame : frames) frame->releaseTexture();
}

std::size_t FrameList::framesWithoutTexture() const {
  return static_cast<std::size_t>(std::count_if(frames.begin(), frames.end(), [](const auto& frame) {
    return !frame->texture && !frame->filling();
  }));
}

IDirect3DTexture9* FrameList::currentTexture() {
  const int shown = advance(nowMs());
  return shown < 0 ? nullptr : frames[shown]->texture;
}

int FrameList::advance(std::int64_t now, std::uint32_t gameFrame, FrameReady ready) {
  const int count = static_cast<int>(frames.size());
  if (count == 0) return -1;
  // Gaps between calls are measured from the last call, so an animation drawn every game frame
  // is never taken for one out of view, however short its whole loop is.
  const bool drawnLastGameFrame = gameFrame != UnknownGameFrame && playing &&
                                  gameFrame - lastGameFrame <= 1;
  const bool outOfView =
      !playing || (!drawnLastGameFrame && now - lastShown > std::max(totalDuration, OutOfViewMs));
  lastShown = now;
  lastGameFrame = gameFrame;
  // Finished: the last frame stays; with the loop count honoured, until it was out of view.
  if (finished()) {
    if (!honourLoopCount || !outOfView) return count - 1;
    loopsDone = 0;
  }
  if (outOfView) {
    // Playback starts when the first frame can be shown: its time counts from then.
    playing = ready(0);
    current = 0;
    frameStart = now;
    return playing ? 0 : -1;
  }
  if (now - frameStart < frames[current]->delay) return current;
  const bool wraps = current + 1 == count;
  const std::uint32_t runs = runsBeforeStop();
  if (wraps && runs != 0 && loopsDone + 1 >= runs) {
    ++loopsDone;
    current = 0;
    return count - 1;
  }
  // The frame shown stays until the next one is ready.
  const int next = wraps ? 0 : current + 1;
  if (!ready(next)) return current;
  if (wraps && runs != 0) ++loopsDone;
  current = next;
  frameStart = now;
  return current;
}

int FrameList::frameDue(std::int64_t now, std::uint32_t gameFrame, FrameReady ready) {
  // The game draws one texture many times a frame: after the first use, the answer stands.
  if (gameFrame == steadyIn_ && gameFrame != UnknownGameFrame && now == lastShown && playing) return current;
  const int shown = advance(now, gameFrame, ready);
  if (finished() && !honourLoopCount) rewind();
  // Steady: advance at this same time and game frame would return `current` and change nothing.
  const bool steady = playing && shown == current && now - frameStart < frames[current]->delay;
  steadyIn_ = steady ? gameFrame : UnknownGameFrame;
  return shown;
}

std::uint32_t FrameList::runsBeforeStop() const {
  if (!honourLoopCount) return loopCount;
  if (!loopCountGiven) return 1;
  return loopCount == 0 ? 0 : loopCount + 1u;
}

bool FrameList::finished() const {
  const std::uint32_t runs = runsBeforeStop();
  return runs != 0 && loopsDone >= runs;
}

void FrameList::rewind() {
  steadyIn_ = UnknownGameFrame;
  loopsDone = 0;
  current = 0;
  playing = false;
}
