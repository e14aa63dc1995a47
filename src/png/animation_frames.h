#pragma once
// The one way an animation file becomes frames, whichever its kind: "<name>.png" through the PNG
// decoder (png_frame_list.h), anything else as a GIF (FrameList::load). The module, the checker
// and the inspect tool all load through here.
#include <cstdint>
#include <memory>
#include <string_view>

#include "gif/frame_list.h"

enum class AnimationFileKind { Gif, Png };
AnimationFileKind animationFileKind(std::string_view path);

std::unique_ptr<FrameList> loadAnimationFrames(const char* path, std::string_view shownName = {},
                                               std::uint64_t decodedRoom = UINT64_MAX,
                                               const FrameOptions& options = {});
