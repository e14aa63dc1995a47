#include "png/apng_decoder.h"

#include <new>

#include "png/png_input.h"
#include "png/png_limits.h"

std::int64_t ApngFrameInfo::delayMs() const {
  const std::int64_t den = delayDenominator == 0 ? 100 : delayDenominator;
  return (std::int64_t{delayNumerator} * 1000 + den / 2) / den;
}

namespace {

std::string frameName(std::uint32_t index) { return "frame " + std::to_string(index + 1); }

std::uint16_t u16(const std::uint8_t* b) { return static_cast<std::uint16_t>((b[0] << 8) | b[1]); }

}  // namespace

ApngDecoder::ApngDecoder(std::unique_ptr<PngInput> input, std::string_view shownName)
    : input_(std::move(input)), reader_(*input_), file_(shownName) {}

ApngDecoder::~ApngDecoder() = default;

std::unique_ptr<ApngDecoder> ApngDecoder::open(const char* path, std::string_view shownName, Failure& failure,
                                               std::string& message) {
  const std::string_view name = shownName.empty() ? std::string_view(path) : shownName;
  auto input = std::make_unique<PngFileInput>(path);
  if (!input->opened()) {
    failure = Failure::Unreadable;
    message = std::string(name) + " cannot be opened.";
    return nullptr;
  }
  std::unique_ptr<ApngDecoder> decoder(new ApngDecoder(std::move(input), name));
  if (decoder->readHead()) return decoder;
  failure = decoder->failure_;
  message = decoder->message_;
  return nullptr;
}

std::unique_ptr<ApngDecoder> ApngDecoder::openMemory(const std::uint8_t* data, std::size_t size,
                                                     std::string_view shownName, Failure& failure,
                                                     std::string& message) {
  std::unique_ptr<ApngDecoder> decoder(new ApngDecoder(std::make_unique<PngMemoryInput>(data, size), shownName));
  if (decoder->readHead()) return decoder;
  failure = decoder->failure_;
  message = decoder->message_;
  return nullptr;
}

bool ApngDecoder::fail(Failure failure, const std::string& what) {
  failure_ = failure;
  message_ = failure == Failure::Malformed ? file_ + " is not a PNG Velquor can show: " + what + "." : what;
  return false;
}

// Signature, IHDR, and every chunk before the first IDAT, whose header is then held for next().
bool ApngDecoder::readHead() {
  std::string why;
  PngChunkHeader h;
  if (!reader_.readSignature(why) || !reader_.readHeader(h, why)) return malformed(why);
  if (!h.is("IHDR") || h.length != 13) return malformed("it does not begin with an IHDR chunk");
  if (!reader_.readData(h, chunk_, why)) return malformed(why);
  header_.width = pngU32(&chunk_[0]);
  header_.height = pngU32(&chunk_[4]);
  header_.bitDepth = chunk_[8];
  header_.colourType = chunk_[9];
  header_.compression = chunk_[10];
  header_.filter = chunk_[11];
  header_.interlace = chunk_[12];
  const std::uint32_t w = header_.width, h32 = header_.height;
  if (w == 0 || h32 == 0 || w > PngLimits::MaxNumber || h32 > PngLimits::MaxNumber)
    return malformed("its IHDR chunk gives a size of " + std::to_string(w) + " x " + std::to_string(h32) +
                     ", outside PNG's range (1 to 2147483647 each way)");
  if (std::uint64_t{w} * h32 > PngLimits::MaxCanvasPixels)
    return fail(Failure::TooLarge, Limits::screenTooLargeText(file_, w, h32));
  if (std::string problem = header_.problem(); !problem.empty()) return malformed(problem);
  try {
    canvas_ = std::make_unique<ApngCanvas>(w, h32);
  } catch (const std::bad_alloc&) {
    return fail(Failure::NoMemory, Limits::noMemoryText(file_, w, h32, 1, Limits::textureBytes(w, h32, 1)));
  }

  for (;;) {
    if (!reader_.readHeader(h, why)) return malformed(why);
    if (h.is("IDAT")) break;
    bool ok = true;
    if (h.is("acTL")) {
      ok = readAnimationControl(h);
    } else if (h.is("fcTL") && animated_) {
      ok = readControl(h);
      defaultImageIsFrame_ = true;
    } else if (h.is("PLTE")) {
      if (h.length == 0 || h.length > 768 || h.length % 3 != 0)
        return malformed(pngChunkName(h) + " holds " + std::to_string(h.length) + " bytes, not a palette");
      palette_.clear();
      ok = (header_.colourType == 0 || header_.colourType == 4) ? reader_.skipData(h, why)
                                                                 : reader_.readData(h, palette_, why);
    } else if (h.is("tRNS")) {
      if (h.length > 256) return malformed(pngChunkName(h) + " holds more than 256 entries");
      transparency_.clear();
      ok = reader_.readData(h, transparency_, why);
    } else if (h.is("IEND") || h.is("fdAT")) {
      return malformed("it has no image data before " + pngChunkName(h));
    } else if (h.critical()) {
      return malformed(pngChunkName(h) + " is one a reader must know, and Velquor does not");
    } else {
      ok = reader_.skipData(h, why);
    }
    if (!ok) return failure_ == Failure::None ? malformed(why) : false;
  }
  if (header_.colourType == 3 && palette_.empty()) return malformed("it has palette colours but no PLTE chunk");
  held_ = h;
  haveHeld_ = true;
  return true;
}

bool ApngDecoder::readAnimationControl(const PngChunkHeader& h) {
  std::string why;
  if (animated_) return malformed("it has a second acTL chunk, " + pngChunkName(h));
  if (h.length != 8) return malformed(pngChunkName(h) + " is not 8 bytes long");
  chunk_.clear();
  if (!reader_.readData(h, chunk_, why)) return malformed(why);
  const std::uint32_t frames = pngU32(&chunk_[0]), plays = pngU32(&chunk_[4]);
  if (frames == 0 || frames > PngLimits::MaxNumber || plays > PngLimits::MaxNumber)
    return malformed(pngChunkName(h) + " declares " + std::to_string(frames) + " frames and " +
                     std::to_string(plays) + " plays");
  // Counted before any frame is read: a file cannot make the decoder hold more than the budgets.
  const unsigned w = header_.width, hh = header_.height;
  const std::uint64_t bytes = Limits::textureBytes(w, hh, frames);
  if (bytes > Limits::TextureBudget) return fail(Failure::TooLarge, Limits::texturesTooLargeText(file_, w, hh, frames));
  if (bytes > Limits::DecodedBudget)
    return fail(Failure::TooLarge, Limits::framesTooLargeText(file_, w, hh, frames, bytes));
  animated_ = true;
  frameCount_ = frames;
  loopCount_ = plays;
  return true;
}

bool ApngDecoder::checkSequence(const PngChunkHeader& h, const std::uint8_t* number) {
  const std::uint32_t got = pngU32(number);
  if (got != nextSequence_)
    return malformed(pngChunkName(h) + " has sequence number " + std::to_string(got) + " where " +
                     std::to_string(nextSequence_) + " was due (chunks are missing or out of order)");
  ++nextSequence_;
  return true;
}

bool ApngDecoder::readControl(const PngChunkHeader& h) {
  std::string why;
  if (h.length != 26) return malformed(pngChunkName(h) + " is not 26 bytes long");
  chunk_.clear();
  if (!reader_.readData(h, chunk_, why)) return malformed(why);
  if (!checkSequence(h, &chunk_[0])) return false;
  const std::uint32_t index = controlsRead_++;
  if (index >= frameCount_)
    return malformed("it has more frames than the " + std::to_string(frameCount_) + " its acTL chunk declares");
  ApngFrameInfo c;
  c.region = {pngU32(&chunk_[12]), pngU32(&chunk_[16]), pngU32(&chunk_[4]), pngU32(&chunk_[8])};
  c.delayNumerator = u16(&chunk_[20]);
  c.delayDenominator = u16(&chunk_[22]);
  const ApngRegion& r = c.region;
  if (r.width == 0 || r.height == 0 || std::uint64_t{r.left} + r.width > header_.width ||
      std::uint64_t{r.top} + r.height > header_.height)
    return malformed(frameName(index) + " (" + pngChunkName(h) + ") is " + std::to_string(r.width) + " x " +
                     std::to_string(r.height) + " at " + std::to_string(r.left) + ", " + std::to_string(r.top) +
                     ": not inside the " + std::to_string(header_.width) + " x " + std::to_string(header_.height) +
                     " canvas");
  if (chunk_[24] > 2 || chunk_[25] > 1)
    return malformed(frameName(index) + " has disposal " + std::to_string(chunk_[24]) + " and blending " +
                     std::to_string(chunk_[25]) + ": APNG has disposals 0 to 2 and blendings 0 and 1");
  c.dispose = static_cast<ApngDispose>(chunk_[24]);
  c.blend = static_cast<ApngBlend>(chunk_[25]);
  if (!imageDataSeen_ && (r.left || r.top || r.width != header_.width || r.height != header_.height))
    return malformed(frameName(index) + " is the PNG's own image and must cover the whole canvas");
  control_ = c;
  haveControl_ = true;
  compressed_.clear();
  return true;
}

bool ApngDecoder::appendData(const PngChunkHeader& h, bool fdat) {
  std::string why;
  const std::size_t skip = fdat ? 4 : 0;
  const ApngRegion& r = control_.region;
  const std::uint64_t most = PngLimits::maxCompressedBytes(header_.rawBytes(r.width, r.height));
  if (h.length >= skip && compressed_.size() + (h.length - skip) > most)
    return malformed(frameName(framesDone_) + " has more compressed data than its " + std::to_string(r.width) +
                     " x " + std::to_string(r.height) + " pixels could need (" + std::to_string(most) +
                     " bytes at most): it is damaged, or made to exhaust memory");
  std::uint8_t sequence[4];
  if (!reader_.readData(h, compressed_, why, skip, sequence)) return malformed(why);
  return !fdat || checkSequence(h, sequence);
}

int ApngDecoder::finishFrame() {
  const ApngRegion& r = control_.region;
  if (compressed_.empty()) return malformed(frameName(framesDone_) + " has no image data"), -1;
  canvas_->beginFrame(r, control_.dispose);
  // A frame that replaces its region is decoded straight into the canvas.
  const bool over = control_.blend == ApngBlend::Over;
  if (over) framePixels_.resize(std::size_t{r.width} * r.height);
  std::uint32_t* to = over ? framePixels_.data() : canvas_->frameOrigin();
  std::string why;
  if (!decodeFramePixels({header_, palette_, transparency_}, r.width, r.height, compressed_, to,
                         over ? r.width : canvas_->stride(), why))
    return malformed("the image data of " + frameName(framesDone_) + " cannot be decoded (" + why + ")"), -1;
  if (over) canvas_->blendOver(framePixels_.data());
  frame_ = control_;
  haveControl_ = false;
  ++framesDone_;
  return 1;
}

int ApngDecoder::next() {
  if (failure_ != Failure::None) return -1;
  if (ended_) return 0;
  try {
    std::string why;
    for (;;) {
      PngChunkHeader h;
      if (haveHeld_) {
        h = held_;
        haveHeld_ = false;
      } else if (!reader_.readHeader(h, why)) {
        return malformed(why), -1;
      }
      bool ok = true;
      if (!h.is("IDAT") && imageDataSeen_) imageDataOver_ = true;
      if (h.is("IDAT")) {
        if (imageDataOver_) return malformed("its IDAT chunks are not all together"), -1;
        imageDataSeen_ = true;
        if (!animated_ && !haveControl_) {  // a still image: the one frame covers the canvas
          control_ = ApngFrameInfo{};
          control_.region = {0, 0, header_.width, header_.height};
          haveControl_ = true;
        }
        // Without a frame control before it, an animation's IDAT image is only for readers without APNG.
        ok = haveControl_ ? appendData(h, false) : reader_.skipData(h, why);
      } else if (h.is("fcTL") && animated_) {
        if (haveControl_) {  // the frame before is complete
          held_ = h;
          haveHeld_ = true;
          return finishFrame();
        }
        ok = readControl(h);
      } else if (h.is("fdAT") && animated_) {
        if (!haveControl_ || (defaultImageIsFrame_ && framesDone_ == 0))
          return malformed(pngChunkName(h) + " belongs to no frame"), -1;
        ok = appendData(h, true);
      } else if (h.is("IEND")) {
        if (!reader_.skipData(h, why)) return malformed(why), -1;
        const std::uint32_t frames = framesDone_ + (haveControl_ ? 1 : 0);
        if (frames != frameCount_)
          return malformed("its acTL chunk declares " + std::to_string(frameCount_) + " frames, and it has " +
                           std::to_string(frames)), -1;
        ended_ = true;
        return haveControl_ ? finishFrame() : 0;
      } else if (h.critical()) {
        return malformed(pngChunkName(h) + (h.is("IHDR") || h.is("PLTE") ? " is out of place"
                                                                        : " is one a reader must know, and Velquor does not")), -1;
      } else {
        ok = reader_.skipData(h, why);
      }
      if (!ok) return failure_ == Failure::None ? (malformed(why), -1) : -1;
    }
  } catch (const std::bad_alloc&) {
    fail(Failure::NoMemory, Limits::noMemoryText(file_, header_.width, header_.height, frameCount_,
                                                 Limits::textureBytes(header_.width, header_.height, frameCount_)));
    return -1;
  }
}
