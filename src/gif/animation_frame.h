#pragma once
// One frame of an animation: the composed picture of one image (a GIF's palette indices of the
// whole screen, or a PNG's A8R8G8B8 pixels: frame_pixels.h), its delay, and its Direct3D 9
// texture once made. The frame list holds them in order.
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "gif/frame_pixels.h"

class ImageDisposal;
struct FrameTile;
struct GifDecoder;
struct IDirect3DDevice9;   // declared as structs by d3d9.h
struct IDirect3DTexture9;
class StagingTexture;

// The frame reader's two outcomes other than a frame; they never leave FrameList::load.
struct no_frames_in_gif : std::runtime_error {
  no_frames_in_gif() : std::runtime_error("No frames in GIF") {}
};
struct read_frame_error : std::runtime_error {
  read_frame_error() : std::runtime_error("Error while reading frame from GIF") {}
};

struct AnimationFrame {
  IDirect3DTexture9* texture = nullptr;    // one reference, owned; null while none is complete
  std::int64_t delay = 0;                  // milliseconds
  std::uint32_t backgroundColor = 0;       // A8R8G8B8 of the global table's background entry
  std::uint16_t width = 0, height = 0;     // the file's logical screen
  std::uint8_t palette[768] = {};          // the colour table in force for this image
  std::unique_ptr<std::uint8_t[]> indices; // width x height, the full composed picture (Indexed)
  std::unique_ptr<std::uint32_t[]> argb;   // width x height, the same (Argb): one of the two is set

  AnimationFrame() = default;
  AnimationFrame(const AnimationFrame&) = delete;
  AnimationFrame& operator=(const AnimationFrame&) = delete;
  virtual ~AnimationFrame();

  // Reads the next image of `gif` over `previous` (null for the first frame).
  // Throws no_frames_in_gif at the end of the stream, read_frame_error on a malformed one.
  void build(GifDecoder* gif, const AnimationFrame* previous);
  // The same for an image gifNextFrame has just decoded. With `disposal` (kept from one image to
  // the next) the image is drawn over what the previous image left of itself instead.
  void compose(GifDecoder* gif, const AnimationFrame* previous, ImageDisposal* disposal = nullptr);
  // Takes a copy of a composed A8R8G8B8 picture (fitsFrame) and its delay in milliseconds.
  // Throws std::bad_alloc when memory runs out.
  void takeArgb(std::uint16_t pictureWidth, std::uint16_t pictureHeight, const std::uint32_t* pixels,
                std::int64_t delayMs);
  FramePixels kind() const { return argb ? FramePixels::Argb : FramePixels::Indexed; }

  // The 32-bit A8R8G8B8 pixel of (x, y): opaque palette colour, or 0 for the background colour
  // when keepBackground is false; an Argb frame's own pixel.
  std::uint32_t pixel(int x, int y, bool keepBackground) const;
  // Writes every pixel into rows `pitch` bytes apart, as a texture's locked surface holds them.
  void writePixels(void* bits, int pitch, bool keepBackground) const;
  // The same for the pixels of `tile` only, its top left pixel first.
  void writeTile(void* bits, int pitch, bool keepBackground, const FrameTile& tile) const;

  // Makes the texture on `device` unless there is one already or no device. On a failing
  // CreateTexture or LockRect the frame stays without texture and their error is returned;
  // 0 otherwise.
  long createTexture(IDirect3DDevice9* device, bool keepBackground);
  // Fills the texture a tile at a time (frame_tiles.h) through `staging`, while `pixels` lasts
  // (one tile at least), and takes the tiles' pixels off it. Only with its last tile in is the
  // texture the frame's; until then it is held apart (filling()). On a failing call the texture
  // being filled is released and the error returned; 0 otherwise.
  long fillTexture(IDirect3DDevice9* device, StagingTexture& staging, bool keepBackground,
                   std::uint64_t& pixels);
  bool filling() const { return filling_ != nullptr; }
  // True if a texture, complete or being filled, was released.
  bool releaseTexture();

 private:
  IDirect3DTexture9* filling_ = nullptr;  // one reference, owned: the texture not complete yet
  unsigned tilesFilled_ = 0;
  void uncount();
  std::uint64_t counted_ = 0;  // bytes of the picture counted in MemoryUse::decoded
};
