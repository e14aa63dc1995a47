#pragma once
// A PNG file, animated or still, as a frame list: every composed frame as its A8R8G8B8 pixels
// (frame_pixels.h), with its delay in milliseconds and the file's loop count, so that playback
// and textures are those of a GIF's frames.
#include <cstdint>
#include <memory>
#include <string_view>

#include "gif/frame_list.h"

// Throws as FrameList::load does, with the decoder's own message for a file it cannot read
// (std::runtime_error) and frameTooLargeText for a canvas a frame cannot hold (gif_too_large).
// Of `options` only the loop count applies: a PNG's disposal is always honoured and it has no
// background colour.
std::unique_ptr<FrameList> loadPngFrames(const char* path, std::string_view shownName = {},
                                         std::uint64_t decodedRoom = UINT64_MAX,
                                         const FrameOptions& options = {});

// How many times a file that asks to be played `plays` times (0: for ever) runs, in the frame
// list's terms (a GIF's loop count: repeats after the first run).
void setPngPlays(FrameList& list, std::uint32_t plays);
