#pragma once
// Reads a PNG file, animated (APNG) or still, one composed frame at a time. The file is read as
// it goes: the header chunks at open, then each frame's control and data chunks at next(),
// which inflates the frame through libpng (png_frame_pixels.h) and draws it on the canvas as
// browsers do (apng_canvas.h). A still PNG, or an animated one whose animation chunk is not
// before its image data, is one frame.
//
// Every message names the file (as shownName) and says what is wrong with it.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "png/apng_canvas.h"
#include "png/png_chunk_reader.h"
#include "png/png_frame_pixels.h"

class PngInput;

struct ApngFrameInfo {
  ApngRegion region;
  std::uint16_t delayNumerator = 0, delayDenominator = 100;  // seconds; a denominator of 0 reads as 100
  ApngDispose dispose = ApngDispose::None;
  ApngBlend blend = ApngBlend::Source;
  std::int64_t delayMs() const;  // rounded to the nearest millisecond
};

class ApngDecoder {
 public:
  enum class Failure { None, Unreadable, Malformed, TooLarge, NoMemory };

  // Null when the file cannot be opened, is not a PNG this decoder reads, or passes a limit
  // (png_limits.h); `failure` then says which and `message` what is wrong.
  static std::unique_ptr<ApngDecoder> open(const char* path, std::string_view shownName, Failure& failure,
                                           std::string& message);
  static std::unique_ptr<ApngDecoder> openMemory(const std::uint8_t* data, std::size_t size,
                                                 std::string_view shownName, Failure& failure, std::string& message);
  ~ApngDecoder();

  std::uint32_t width() const { return header_.width; }
  std::uint32_t height() const { return header_.height; }
  std::uint32_t frameCount() const { return frameCount_; }  // as the file declares it
  std::uint32_t loopCount() const { return loopCount_; }    // 0: for ever
  bool animated() const { return animated_; }

  // 1: the next frame is composed in pixels() and described by frame(); 0: the file ended after
  // its last frame; -1: the file is broken or memory ran out (failure() and message() say).
  int next();
  const std::uint32_t* pixels() const { return canvas_->pixels(); }  // width x height, A8R8G8B8
  const ApngFrameInfo& frame() const { return frame_; }
  Failure failure() const { return failure_; }
  const std::string& message() const { return message_; }

 private:
  ApngDecoder(std::unique_ptr<PngInput> input, std::string_view shownName);
  bool readHead();
  bool readControl(const PngChunkHeader& header);
  bool readAnimationControl(const PngChunkHeader& header);
  bool checkSequence(const PngChunkHeader& header, const std::uint8_t* number);
  bool appendData(const PngChunkHeader& header, bool fdat);
  int finishFrame();
  bool fail(Failure failure, const std::string& what);
  bool malformed(const std::string& why) { return fail(Failure::Malformed, why); }

  std::unique_ptr<PngInput> input_;
  PngChunkReader reader_;
  std::string file_;
  PngImageHeader header_;
  std::vector<std::uint8_t> palette_, transparency_, chunk_;
  std::unique_ptr<ApngCanvas> canvas_;
  bool animated_ = false, defaultImageIsFrame_ = false;
  std::uint32_t frameCount_ = 1, loopCount_ = 0;
  std::uint32_t framesDone_ = 0, controlsRead_ = 0, nextSequence_ = 0;
  bool haveControl_ = false;   // a frame's control read, its data being gathered
  bool imageDataSeen_ = false, imageDataOver_ = false, ended_ = false;
  bool haveHeld_ = false;      // a chunk header read ahead, for the next call
  PngChunkHeader held_;
  ApngFrameInfo frame_, control_;
  std::vector<std::uint8_t> compressed_;
  std::vector<std::uint32_t> framePixels_;
  Failure failure_ = Failure::None;
  std::string message_;
};
