#include "gif/image_disposal.h"

#include <algorithm>
#include <cstring>

#include "gif/gif_decoder.h"

ImageRectangle ImageRectangle::of(const GifDecoder& gif) {
  ImageRectangle r;
  r.left = std::min<unsigned>(gif.frameLeft, gif.width);
  r.top = std::min<unsigned>(gif.frameTop, gif.height);
  r.right = std::min<unsigned>(r.left + gif.frameWidth, gif.width);
  r.bottom = std::min<unsigned>(unsigned{gif.frameTop} + gif.frameHeight, gif.height);
  return r;
}

bool disposalRestores(int method) { return method == 2 || method == 3; }

void ImageDisposal::noteImage(const GifDecoder& gif, const std::uint8_t* canvas) {
  method_ = gif.disposal;
  rectangle_ = ImageRectangle::of(gif);
  screenWidth_ = gif.width;
  backgroundIndex_ = gif.backgroundIndex;
  before_.clear();
  if (method_ != 3) return;
  const unsigned rowBytes = rectangle_.right - rectangle_.left;
  for (unsigned y = rectangle_.top; y < rectangle_.bottom; ++y) {
    const std::uint8_t* row = canvas + std::size_t{y} * screenWidth_ + rectangle_.left;
    before_.insert(before_.end(), row, row + rowBytes);
  }
}

void ImageDisposal::apply(std::uint8_t* canvas) const {
  if (!disposalRestores(method_)) return;
  const unsigned rowBytes = rectangle_.right - rectangle_.left;
  std::size_t kept = 0;
  for (unsigned y = rectangle_.top; y < rectangle_.bottom; ++y, kept += rowBytes) {
    std::uint8_t* row = canvas + std::size_t{y} * screenWidth_ + rectangle_.left;
    if (method_ == 2)
      std::memset(row, backgroundIndex_, rowBytes);
    else
      std::memcpy(row, before_.data() + kept, rowBytes);
  }
}
