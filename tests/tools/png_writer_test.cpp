// Checksums, refusals and the chunk layout of the PNG writer; png_decode_test.cpp decodes the output.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "png/png_writer.h"

using namespace VelquorPng;

namespace {

std::uint32_t readU32be(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

const std::uint8_t* bytesOf(const char* s) { return reinterpret_cast<const std::uint8_t*>(s); }

}  // namespace

TEST(PngChecksums, MatchKnownValuesAndContinue) {
  EXPECT_EQ(crc32(bytesOf("123456789"), 9), 0xCBF43926u);
  EXPECT_EQ(adler32(bytesOf("Wikipedia"), 9), 0x11E60398u);
  EXPECT_EQ(crc32(bytesOf("6789"), 4, crc32(bytesOf("12345"), 5)), 0xCBF43926u);
  EXPECT_EQ(adler32(bytesOf("pedia"), 5, adler32(bytesOf("Wiki"), 4)), 0x11E60398u);
  EXPECT_EQ(crc32(nullptr, 0), 0u);
  EXPECT_EQ(adler32(nullptr, 0), 1u);
}

TEST(PngChecksums, AdlerStaysExactOverLongRunsOfHighBytes) {
  // Sums of 0xFF bytes overflow 32 bits unless reduced in time.
  std::vector<std::uint8_t> data(100000, 0xFF);
  std::uint64_t a = 1, b = 0;
  for (std::uint8_t v : data) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  EXPECT_EQ(adler32(data.data(), data.size()), std::uint32_t((b << 16) | a));
}

TEST(PngEncode, RefusesWhatCannotBeEncoded) {
  std::uint32_t pixels[4] = {};
  EXPECT_TRUE(encodePng(0, 1, pixels).empty());
  EXPECT_TRUE(encodePng(1, 0, pixels).empty());
  EXPECT_TRUE(encodePng(2, 2, nullptr).empty());
  EXPECT_TRUE(encodePng(2, 2, pixels, 7).empty()) << "a stride shorter than a row";
  EXPECT_TRUE(encodePng(0x80000000u, 1, pixels).empty());
  EXPECT_FALSE(writePng("/nonexistent-folder/x.png", 2, 2, pixels));
  EXPECT_FALSE(writePng("unused.png", 0, 2, pixels));
}

TEST(PngEncode, WritesSignatureHeaderAndChunksWithValidCrcs) {
  std::vector<std::uint32_t> pixels(300 * 7, 0x80FF2010u);
  std::vector<std::uint8_t> png = encodePng(300, 7, pixels.data());
  ASSERT_GT(png.size(), 8u + 25 + 12 + 12);
  const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0);

  std::vector<std::string> types;
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    std::uint32_t length = readU32be(&png[at]);
    ASSERT_LE(at + 12 + length, png.size());
    types.emplace_back(reinterpret_cast<const char*>(&png[at + 4]), 4);
    EXPECT_EQ(readU32be(&png[at + 8 + length]), crc32(&png[at + 4], length + 4)) << types.back();
    if (types.back() == "IHDR") {
      ASSERT_EQ(length, 13u);
      EXPECT_EQ(readU32be(&png[at + 8]), 300u);
      EXPECT_EQ(readU32be(&png[at + 12]), 7u);
      EXPECT_EQ(png[at + 16], 8) << "bit depth";
      EXPECT_EQ(png[at + 17], 6) << "colour type RGBA";
    }
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size());
  ASSERT_GE(types.size(), 3u);
  EXPECT_EQ(types.front(), "IHDR");
  EXPECT_EQ(types[1], "IDAT");
  EXPECT_EQ(types.back(), "IEND");
}

TEST(PngEncode, WritePngStoresTheEncodedBytes) {
  std::uint32_t pixels[6] = {0xFF000000u, 0xFFFFFFFFu, 0x00000000u, 0xFF112233u, 0x7F445566u, 0xFF778899u};
  std::string path = testing::TempDir() + "velquor_png_writer_test.png";
  ASSERT_TRUE(writePng(path, 3, 2, pixels));
  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<std::uint8_t> bytes(4096);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  std::remove(path.c_str());
  EXPECT_EQ(bytes, encodePng(3, 2, pixels));
}
