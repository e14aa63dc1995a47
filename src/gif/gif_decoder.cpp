#include "gif/gif_decoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "gif/crt_file_io.h"
#include "gif/gif_decoder_report.h"
#include "gif/gif_read_state.h"
#include "gif/lzw_image.h"

// How a truncated file ends: inside the header or the global colour table gifOpen refuses it
// (null; a cut signature or version gets its message); inside image data it ends the image
// early, as a zero-length sub-block would; anywhere else (where a block may begin, inside an
// extension or an image's descriptor) the stream is over (0). Either way endedEarly says the
// trailer never came. Nothing read past the end is ever used.

namespace {

GifDecoder* refuse(GifReadState* reader, const char* message) {
  if (message) gifReportMessage(message);
  delete reader;
  return nullptr;
}

// The file ended before its trailer: the stream is over.
int endOfFile(GifDecoder& gif) {
  gif.endedEarly = 1;
  return 0;
}

int tableEntries(std::uint8_t packed) { return 1 << ((packed & 7) + 1); }

bool readGraphicControl(GifDecoder& gif, GifReadState& in) {
  in.skip(1);  // block size, taken to be 4
  std::uint8_t packed, transparentIndex;
  std::uint16_t delay;
  if (!in.readByte(packed) || !in.readU16le(delay) || !in.readByte(transparentIndex)) return false;
  gif.hasTransparency = packed & 1;
  gif.disposal = (packed >> 2) & 7;
  gif.delay = delay;
  gif.transparentIndex = transparentIndex;
  in.skip(1);  // terminator
  return true;
}

bool readApplication(GifDecoder& gif, GifReadState& in) {
  in.skip(1);  // block size, taken to be 11
  std::uint8_t identifier[11];  // 8-byte name, 3-byte authentication code
  if (!in.readBytes(identifier, sizeof identifier)) return false;
  if (std::memcmp(identifier, "NETSCAPE", 8) != 0) return in.skipSubBlocks();
  in.skip(2);  // sub-block size and id
  std::uint16_t loopCount;
  if (!in.readU16le(loopCount)) return false;
  gif.loopCount = loopCount;
  gif.loopCountRead = 1;
  in.skip(1);  // terminator
  return true;
}

// False when the file ends inside the extension.
bool readExtension(GifDecoder& gif, GifReadState& in) {
  std::uint8_t label;
  if (!in.readByte(label)) return false;
  switch (label) {
    case 0xF9:
      return readGraphicControl(gif, in);
    case 0xFF:
      return readApplication(gif, in);
    case 0xFE:
      return in.skipSubBlocks();
    case 0x01:
      in.skip(13);  // block size and the text grid header
      return in.skipSubBlocks();
    default: {
      char line[32];
      std::snprintf(line, sizeof line, "unknown extension: %02X\n", label);
      gifReportMessage(line);
      return in.skipSubBlocks();
    }
  }
}

int readImage(GifDecoder& gif, GifReadState& in) {
  std::uint16_t left, top, width, height;
  std::uint8_t packed;
  if (!in.readU16le(left) || !in.readU16le(top) || !in.readU16le(width) || !in.readU16le(height) ||
      !in.readByte(packed))
    return endOfFile(gif);
  gif.frameLeft = left;
  gif.frameTop = top;
  gif.frameWidth = width;
  gif.frameHeight = height;
  bool interlaced = packed & 0x40;
  if (packed & 0x80) {
    int entries = tableEntries(packed);
    if (!in.readBytes(&gif.localTable.rgb[0][0], 3 * entries)) return endOfFile(gif);
    gif.localTable.count = entries;
    gif.palette = &gif.localTable;
  } else {
    gif.palette = &gif.globalTable;
  }

  std::uint8_t minCodeSize;
  if (!in.readByte(minCodeSize)) return endOfFile(gif);
  // The code bytes up to the terminator; the file is left after the image data whatever the
  // decoding consumes. A chain cut short by the end of the file keeps the bytes it had.
  in.imageData.clear();
  if (!in.skipSubBlocks(&in.imageData)) gif.endedEarly = 1;
  // Roots of 1 to 8 bits plus clear and stop: beyond 8 no index fits a byte, below 2 the
  // format has no meaning.
  if (minCodeSize < 2 || minCodeSize > 8) return -1;
  return lzwDecodeImage(gif, minCodeSize, in.imageData.data(), in.imageData.size(), interlaced,
                        in.pixels);
}

int nextBlock(GifDecoder& gif, GifReadState& in) {
  gif.disposal = 0;  // until a graphic control extension for the coming image says otherwise
  for (;;) {
    std::uint8_t introducer;
    if (!in.readByte(introducer)) return endOfFile(gif);
    switch (introducer) {
      case 0x2C:
        return readImage(gif, in);
      case 0x3B:
        return 0;
      case 0x21:
        if (!readExtension(gif, in)) return endOfFile(gif);
        break;
      default:
        return -1;
    }
  }
}

}  // namespace

GifDecoder* gifOpen(const char* path, GifOpenFailure* failure) {
  GifOpenFailure ignored;
  GifOpenFailure& why = failure ? *failure : ignored;
  why = GifOpenFailure{};
  int fd = openUtf8ForReading(path);
  if (fd < 0) return nullptr;
  _setmode(fd, _O_BINARY);
  auto* in = new (std::nothrow) GifReadState;
  const bool read = in != nullptr && readWholeFile(fd, in->file);
  _close(fd);
  if (!read) {
    why.reason = GifOpenFailure::NoMemory;
    return refuse(in, nullptr);
  }

  std::uint8_t signature[3], version[3];
  if (!in->readBytes(signature, 3) || std::memcmp(signature, "GIF", 3) != 0)
    return refuse(in, "invalid signature\n");
  if (!in->readBytes(version, 3)) return refuse(in, "invalid version\n");
  gifReportVersion(version);
  if (std::memcmp(version, "89a", 3) != 0) return refuse(in, "invalid version\n");
  std::uint16_t width, height;
  std::uint8_t packed, backgroundIndex, aspectRatio;
  if (!in->readU16le(width) || !in->readU16le(height) || !in->readByte(packed))
    return refuse(in, nullptr);
  if (!(packed & 0x80)) return refuse(in, "no global color table\n");
  if (!in->readByte(backgroundIndex) || !in->readByte(aspectRatio)) return refuse(in, nullptr);

  why.width = width;
  why.height = height;
  // 64-bit arithmetic: 65535 x 65535 does not fit a 32-bit size.
  std::uint64_t pixels = std::uint64_t{width} * height;
  if (pixels > GifMaxScreenPixels) {
    why.reason = GifOpenFailure::ScreenTooLarge;
    return refuse(in, nullptr);
  }
  void* memory = std::calloc(1, sizeof(GifDecoder) + static_cast<std::size_t>(pixels));
  if (!memory) {
    why.reason = GifOpenFailure::NoMemory;
    return refuse(in, nullptr);
  }
  auto* gif = static_cast<GifDecoder*>(memory);
  gif->reader = in;
  gif->width = width;
  gif->height = height;
  gif->backgroundIndex = backgroundIndex;
  gif->indices = reinterpret_cast<std::uint8_t*>(gif + 1);

  int entries = tableEntries(packed);
  if (!in->readBytes(&gif->globalTable.rgb[0][0], 3 * entries)) {
    std::free(gif);
    return refuse(in, nullptr);
  }
  gif->globalTable.count = entries;
  gif->palette = &gif->globalTable;
  std::memset(gif->indices, backgroundIndex, static_cast<std::size_t>(pixels));
  return gif;
}

int gifNextFrame(GifDecoder* gif) {
  if (!gif) return -1;
  int result;
  try {
    result = nextBlock(*gif, *gif->reader);
  } catch (const std::bad_alloc&) {
    result = -1;  // no room for the image's code bytes
  }
  if (result == 1) gifReportImage(gif->disposal);
  return result;
}

void gifClose(GifDecoder* gif) {
  if (!gif) return;
  delete gif->reader;
  std::free(gif);
}
