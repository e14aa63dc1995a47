#pragma once
// Reads a GIF89a file one image at a time into a screen-sized buffer of colour indices.
// gifOpen reads the file (all of it, into memory, and closes it: other programs may replace or
// delete it while it is decoded) and its header, gifNextFrame reads blocks up to and including
// the next image and decodes it, gifClose releases everything. Colours are not looked up here: the caller copies
// the rectangle, the colour table in force and the graphic-control values after each image.
//
// Messages (exactly these): "invalid signature\n", "invalid version\n",
// "no global color table\n", "unknown extension: %02X\n". They go to the standard error stream,
// or to a GifDecoderReport a tool keeps (gif_decoder_report.h).
#include <cstdint>

struct GifColorTable {
  int count;                  // entries read from the file (2..256)
  std::uint8_t rgb[256][3];   // room for 256 triples, always
};

// Private: the decoder's copy of the file and its scratch space.
struct GifReadState;

struct GifDecoder {
  std::uint16_t width, height;        // logical screen
  std::uint16_t loopCount;            // last NETSCAPE repetition count; 0 until one is read
  std::uint8_t loopCountRead;         // 1 once a NETSCAPE extension gave loopCount (0 then means for ever)
  std::uint16_t delay;                // hundredths of a second, last graphic control read
  std::uint8_t transparentIndex;
  int hasTransparency;
  // Disposal method (0-7) of the graphic control extension read since the previous image, 0
  // without one: unlike the values above it never carries over to a later image.
  std::uint8_t disposal;
  // 1 once the file has ended before its trailer (0x3B): a file cut short, or still being
  // written. The images read until then are all it has; the last one may be cut (see gifNextFrame).
  std::uint8_t endedEarly;
  GifColorTable* palette;             // &localTable or &globalTable, for the current image
  GifColorTable localTable;
  GifColorTable globalTable;
  std::uint16_t frameLeft, frameTop, frameWidth, frameHeight;  // current image rectangle
  std::uint8_t backgroundIndex;
  std::uint8_t* indices;              // width x height, row by row; same allocation as the record
  GifReadState* reader;
};

// The largest logical screen accepted, in pixels (8192 x 8192, the largest texture Direct3D 9
// devices make); anything larger is treated as a screen too large to allocate (gifOpen returns
// null and says so).
constexpr std::uint64_t GifMaxScreenPixels = std::uint64_t{1} << 26;

// Why gifOpen returned null.
struct GifOpenFailure {
  enum Reason { NotAGif, ScreenTooLarge, NoMemory } reason = NotAGif;  // NotAGif: unopenable too
  std::uint16_t width = 0, height = 0;  // the logical screen, once read
};

// path is UTF-8, on every system. Null when the file cannot be opened, is not an acceptable GIF, or memory runs out; `failure`,
// when given, then tells which.
GifDecoder* gifOpen(const char* path, GifOpenFailure* failure = nullptr);

// 1: an image was decoded into `indices`; 0: the stream is over, at its trailer or at the end of
// the file (endedEarly then tells which); -1: malformed stream or no memory for the code table.
// After 0 or -1 only gifClose is meaningful.
int gifNextFrame(GifDecoder* gif);

// Frees the record and the file's bytes. Null is allowed.
void gifClose(GifDecoder* gif);
