#include "png/animation_frames.h"

#include "png/png_frame_list.h"

AnimationFileKind animationFileKind(std::string_view path) {
  constexpr std::string_view Png = ".png";
  const bool png = path.size() >= Png.size() && path.substr(path.size() - Png.size()) == Png;
  return png ? AnimationFileKind::Png : AnimationFileKind::Gif;
}

std::unique_ptr<FrameList> loadAnimationFrames(const char* path, std::string_view shownName,
                                               std::uint64_t decodedRoom, const FrameOptions& options) {
  if (animationFileKind(path) == AnimationFileKind::Png) return loadPngFrames(path, shownName, decodedRoom, options);
  return FrameList::load(path, shownName, decodedRoom, options);
}
