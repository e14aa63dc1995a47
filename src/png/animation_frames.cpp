#include "png/animation_frames.h"

#include <filesystem>
#include <system_error>

#include "gif/decode_worker.h"
#include "png/png_frame_list.h"

AnimationFileKind animationFileKind(std::string_view path) {
  constexpr std::string_view Png = ".png";
  const bool png = path.size() >= Png.size() && path.substr(path.size() - Png.size()) == Png;
  return png ? AnimationFileKind::Png : AnimationFileKind::Gif;
}

std::unique_ptr<FrameList> loadAnimationFrames(const char* path, std::string_view shownName,
                                               std::uint64_t decodedRoom, const FrameOptions& options) {
  // A job is queued with the size the file had when it was listed; the file may have grown since.
  // Only a worker orders jobs by it: loads elsewhere (at start, in the tools) ask nothing.
  if (DecodeWorker::jobInHand()) {
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(std::filesystem::u8path(path), error);
    if (!error) DecodeWorker::costInHandIs(bytes);
  }
  if (animationFileKind(path) == AnimationFileKind::Png) return loadPngFrames(path, shownName, decodedRoom, options);
  return FrameList::load(path, shownName, decodedRoom, options);
}
