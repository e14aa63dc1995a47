#pragma once
// What an image leaves of itself for the next one when disposal methods are honoured: method 2
// gives its rectangle back to the background index, method 3 gives it back what it held before
// the image; 0 and 1 (and 4 to 7, which mean nothing, as browsers read them) leave it as drawn.
#include <cstdint>
#include <vector>

struct GifDecoder;

// The part of the screen the decoder's current image covers, clipped to the screen as the
// decoder clips it. Right and bottom are exclusive.
struct ImageRectangle {
  unsigned left = 0, top = 0, right = 0, bottom = 0;
  static ImageRectangle of(const GifDecoder& gif);
};

// Whether an image of this disposal method changes the picture the next image is drawn over.
bool disposalRestores(int method);

class ImageDisposal {
 public:
  // Notes the method and rectangle of the image `gif` has just decoded; for method 3 it also
  // keeps what `canvas` (the screen the image is about to be drawn over) holds in the rectangle.
  void noteImage(const GifDecoder& gif, const std::uint8_t* canvas);
  // Does to `canvas`, a copy of the frame the noted image made, what its method asks.
  void apply(std::uint8_t* canvas) const;

 private:
  int method_ = 0;
  ImageRectangle rectangle_;
  unsigned screenWidth_ = 0;
  std::uint8_t backgroundIndex_ = 0;
  std::vector<std::uint8_t> before_;  // method 3: the rectangle's indices, row by row
};
