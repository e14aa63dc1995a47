#pragma once
// Reads a PNG file chunk by chunk: the signature, then each chunk's length and type, then its
// data (kept, or read through for the check only) and its CRC, which must match. A length above
// PNG's 2^31 - 1 or past the end of the file is refused where it is read.
#include <cstdint>
#include <string>
#include <vector>

class PngInput;

struct PngChunkHeader {
  std::uint32_t length = 0;
  char type[5] = {};          // four letters and a terminator
  std::uint64_t offset = 0;   // of the length field, from the start of the file
  bool is(const char* name) const;
  // Critical chunks (first letter upper case) cannot be skipped by a reader that does not know them.
  bool critical() const { return (type[0] & 0x20) == 0; }
};

class PngChunkReader {
 public:
  explicit PngChunkReader(PngInput& input) : input_(input) {}

  // False with a reason when the file does not start with PNG's eight signature bytes.
  bool readSignature(std::string& why);
  // The next chunk's length and type. False with a reason when the file ends first or the
  // length passes PNG's bound.
  bool readHeader(PngChunkHeader& header, std::string& why);
  // The data of the chunk whose header was just read, appended to `out` after its first `skip`
  // bytes (fdAT's sequence number goes in `skipped`, at most 4 bytes), then the CRC checked.
  bool readData(const PngChunkHeader& header, std::vector<std::uint8_t>& out, std::string& why,
                std::size_t skip = 0, std::uint8_t* skipped = nullptr);
  // The same without keeping the data.
  bool skipData(const PngChunkHeader& header, std::string& why);

 private:
  bool readExactly(std::uint8_t* out, std::size_t n);
  bool checkCrc(const PngChunkHeader& header, std::uint32_t crc, std::string& why);
  PngInput& input_;
  std::uint64_t offset_ = 0;
};

std::uint32_t pngU32(const std::uint8_t* bytes);  // big-endian, as PNG stores numbers
std::string pngChunkName(const PngChunkHeader& header);  // "the IDAT chunk at byte 33"
