#include "png/png_frame_list.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>

#include "gif/decode_worker.h"
#include "gif/frame_pixels.h"
#include "gif/memory_use.h"
#include "gif/memory_limits.h"
#include "png/apng_decoder.h"

namespace {

bool hasPartialAlpha(const std::uint32_t* pixels, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t alpha = pixels[i] >> 24;
    if (alpha != 0 && alpha != 0xFF) return true;
  }
  return false;
}

[[noreturn]] void refuse(ApngDecoder::Failure failure, const std::string& message) {
  if (failure == ApngDecoder::Failure::TooLarge) throw gif_too_large(message);
  if (failure == ApngDecoder::Failure::NoMemory) throw gif_no_memory(message);
  throw std::runtime_error(message);
}

}  // namespace

void setPngPlays(FrameList& list, std::uint32_t plays) {
  // Played once: as a GIF without a loop count. N times: N - 1 repeats; 0: for ever.
  list.loopCountGiven = plays != 1;
  list.loopCount = plays <= 1 ? 0 : static_cast<std::uint16_t>(std::min<std::uint32_t>(plays - 1, 0xFFFF));
}

std::unique_ptr<FrameList> loadPngFrames(const char* path, std::string_view shownName, std::uint64_t decodedRoom,
                                         const FrameOptions& options) {
  const std::string file(shownName.empty() ? std::string_view(path) : shownName);
  ApngDecoder::Failure failure = ApngDecoder::Failure::None;
  std::string message;
  std::unique_ptr<ApngDecoder> png = ApngDecoder::open(path, file, failure, message);
  if (!png) refuse(failure, message);
  const std::uint32_t width = png->width(), height = png->height();
  if (!fitsFrame(width, height)) throw gif_too_large(frameTooLargeText(file, width, height));

  auto list = std::make_unique<FrameList>();
  list->width = static_cast<std::uint16_t>(width);
  list->height = static_cast<std::uint16_t>(height);
  const std::size_t pixels = std::size_t{width} * height;
  // Frames other lists made meanwhile take from the room too (checkRoomForFrame).
  const std::uint64_t othersAtStart = MemoryUse::decoded.load();
  for (;;) {
    const int result = png->next();
    if (result == 0) break;
    if (result < 0) refuse(png->failure(), png->message());
    const std::uint64_t count = list->frames.size() + 1;
    FrameList::checkRoomForFrame(file, width, height, FramePixels::Argb, count,
                                 [&] { return std::max<std::uint64_t>(count, png->frameCount()); }, decodedRoom,
                                 othersAtStart);
    try {
      auto frame = std::make_unique<AnimationFrame>();
      frame->takeArgb(list->width, list->height, png->pixels(), png->frame().delayMs());
      list->partialAlpha = list->partialAlpha || hasPartialAlpha(png->pixels(), pixels);
      list->totalDuration += frame->delay;
      list->frames.push_back(std::move(frame));
    } catch (const std::bad_alloc&) {
      list.reset();
      const std::uint64_t all = std::max<std::uint64_t>(count, png->frameCount());
      throw gif_no_memory(Limits::noMemoryText(file, width, height, all,
                                               FrameList::decodedBytes(width, height, all, FramePixels::Argb)));
    }
    DecodeWorker::letSmallerJobsThrough();
  }
  setPngPlays(*list, png->loopCount());
  list->honourLoopCount = options.honourLoopCount;
  return list;
}
