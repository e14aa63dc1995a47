// The decoder on small hand-made files: header checks, blocks, graphic-control state, code
// streams, and the bounds a hostile stream can break.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "gif/crt_file_io.h"
#include "gif/gif_decoder.h"
#include "gif/gif_decoder_report.h"
#include "gif/gif_read_state.h"
#include "gif/interlace.h"
#include "gif/lzw_code_table.h"
#include "gif_test_files.h"

namespace {

GifScreen screen(int width, int height, int colours = 4, std::uint8_t background = 0) {
  return {static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), testPalette(colours),
          background};
}

struct OpenResult {
  GifHandle gif;
  std::string messages;
};

OpenResult openCapturing(const GifBytes& bytes) {
  TempGifFile file(bytes);
  ::testing::internal::CaptureStderr();
  GifHandle gif(gifOpen(file.path()));
  return {std::move(gif), ::testing::internal::GetCapturedStderr()};
}

GifHandle openBytes(const GifBytes& bytes) {
  TempGifFile file(bytes);
  return GifHandle(gifOpen(file.path()));  // read whole: the file may go at once
}

// Puts `from` in the place of `to`, as an editor's save does.
bool replaceFile(const char* from, const char* to) {
#ifdef _WIN32
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return true;
  ADD_FAILURE() << "MoveFileEx: error " << GetLastError();
  return false;
#else
  return std::rename(from, to) == 0;
#endif
}

}  // namespace

TEST(GifOpen, RefusesWrongSignatureVersionAndMissingGlobalTable) {
  GifBytes good = GifWriter(screen(2, 2)).trailer().bytes();

  GifBytes badSignature = good;
  badSignature[0] = 'J';
  auto result = openCapturing(badSignature);
  EXPECT_EQ(result.gif, nullptr);
  EXPECT_EQ(result.messages, "invalid signature\n");

  GifScreen old = screen(2, 2);
  old.version = "87a";
  result = openCapturing(GifWriter(old).trailer().bytes());
  EXPECT_EQ(result.gif, nullptr);
  EXPECT_EQ(result.messages, "invalid version\n");

  GifScreen bare = screen(2, 2);
  bare.globalTable.clear();
  result = openCapturing(GifWriter(bare).trailer().bytes());
  EXPECT_EQ(result.gif, nullptr);
  EXPECT_EQ(result.messages, "no global color table\n");

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(gifOpen("no/such/file.gif"), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(GifOpen, ReadsScreenAndGlobalTableAndFillsWithBackground) {
  auto gif = openBytes(GifWriter(screen(5, 3, 8, 6)).trailer().bytes());
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(gif->width, 5);
  EXPECT_EQ(gif->height, 3);
  EXPECT_EQ(gif->globalTable.count, 8);
  EXPECT_EQ(gif->palette, &gif->globalTable);
  EXPECT_EQ(gif->globalTable.rgb[6][1], 255 - 6);
  EXPECT_EQ(gif->globalTable.rgb[8][0], 0) << "entries past the count stay zero";
  EXPECT_EQ(gif->backgroundIndex, 6);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 5, 3), GifBytes(15, 6));
  EXPECT_EQ(gif->loopCount, 0);
  EXPECT_EQ(gif->delay, 0);
  EXPECT_EQ(gif->hasTransparency, 0);
}

TEST(GifOpen, ScreenSizeWithoutOverflowAndTooLargeRefused) {
  // 65535 x 65535 overflows 32 bits and is far too large: refused, not wrapped.
  EXPECT_EQ(openBytes(GifWriter(screen(65535, 65535)).trailer().bytes()), nullptr);
  EXPECT_EQ(openBytes(GifWriter(screen(8193, 8192)).trailer().bytes()), nullptr);
  EXPECT_NE(openBytes(GifWriter(screen(8192, 8192)).trailer().bytes()), nullptr);
  // The refusal says why, so that the player is told the file is too large.
  const std::pair<GifBytes, GifOpenFailure::Reason> refused[] = {
      {GifWriter(screen(8193, 8192)).trailer().bytes(), GifOpenFailure::ScreenTooLarge},
      {GifBytes{'G', 'I', 'F', '8', '7', 'a'}, GifOpenFailure::NotAGif}};
  for (const auto& [bytes, reason] : refused) {
    TempGifFile file(bytes);
    GifOpenFailure failure;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(gifOpen(file.path(), &failure), nullptr);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(failure.reason, reason);
  }
  // Zero-sized and long thin screens are fine.
  auto empty = openBytes(GifWriter(screen(0, 0)).trailer().bytes());
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(gifNextFrame(empty.get()), 0);
  auto thin = openBytes(GifWriter(screen(65535, 1)).graphicControl({}).image(filledImage(3, 1, 2, 65533)).trailer().bytes());
  ASSERT_NE(thin, nullptr);
  EXPECT_EQ(gifNextFrame(thin.get()), 1);
  EXPECT_EQ(screenRect(thin.get(), 65532, 0, 3, 1), (GifBytes{0, 2, 2}));
}

TEST(GifNextFrame, TrailerEndsTheStreamAndStrayByteIsAnError) {
  auto gif = openBytes(GifWriter(screen(2, 2)).trailer().bytes());
  EXPECT_EQ(gifNextFrame(gif.get()), 0);

  gif = openBytes(GifWriter(screen(2, 2)).raw({0x00}).bytes());
  EXPECT_EQ(gifNextFrame(gif.get()), -1);

  // The end of the file where a block may begin ends the stream too, but without its trailer.
  gif = openBytes(GifWriter(screen(2, 2)).image(filledImage(2, 2, 1)).bytes());
  EXPECT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(gifNextFrame(gif.get()), 0);
  EXPECT_EQ(gif->endedEarly, 1);
}

// A file cut anywhere after its header (a copy in progress, a crashed save) gives the images it
// has and then ends without its trailer; never a malformed stream.
TEST(GifNextFrame, AFileCutShortEndsWithTheImagesItHas) {
  GifWriter writer(screen(4, 2));
  writer.loop(0).graphicControl({10, false, 0}).image(patternImage(4, 2, 4));
  writer.raw({0x21, 0xFE, 3, 'a', 'b', 'c', 0}).graphicControl({10, true, 1});
  GifImage local = filledImage(2, 2, 3, 1, 0);
  local.localTable = testPalette(4);
  writer.image(local).trailer();
  const GifBytes whole = writer.bytes();
  const std::size_t header = 13 + 4 * 3;
  for (std::size_t size = header; size <= whole.size(); ++size) {
    auto gif = openBytes(GifBytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
    ASSERT_NE(gif, nullptr) << size;
    int images = 0, result;
    while ((result = gifNextFrame(gif.get())) == 1) ++images;
    EXPECT_EQ(result, 0) << "cut after " << size << " bytes";
    EXPECT_EQ(gif->endedEarly, size == whole.size() ? 0 : 1) << size;
    EXPECT_LE(images, 2) << size;
  }
}

// An editor saves by writing a new file and putting it in the old one's place, or deletes the
// old one first: neither may fail while the decoder reads the old file.
TEST(GifOpen, TheFileMayBeReplacedOrDeletedWhileItIsDecoded) {
  GifWriter writer(screen(2, 2));
  writer.image(filledImage(2, 2, 1)).image(filledImage(2, 2, 2)).trailer();
  TempGifFile decoded(writer.bytes(), "decoded"), saved(GifWriter(screen(2, 2)).trailer().bytes(), "saved");
  GifHandle gif(gifOpen(decoded.path()));
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_TRUE(replaceFile(saved.path(), decoded.path()));
  EXPECT_EQ(gifNextFrame(gif.get()), 1) << "the old file is read on";
  std::error_code error;
  EXPECT_TRUE(std::filesystem::remove(decoded.path(), error)) << "deleted: " << error.message();
  EXPECT_EQ(gifNextFrame(gif.get()), 0);
}

TEST(GifNextFrame, LoopCountFromLastNetscapeExtension) {
  auto gif = openBytes(GifWriter(screen(2, 2)).loop(5).image(filledImage(2, 2, 1)).trailer().bytes());
  EXPECT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(gif->loopCount, 5);

  gif = openBytes(GifWriter(screen(2, 2)).loop(5).image(filledImage(2, 2, 1)).loop(7).trailer().bytes());
  EXPECT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(gifNextFrame(gif.get()), 0);
  EXPECT_EQ(gif->loopCount, 7);
}

TEST(GifNextFrame, GraphicControlValuesCarryOverToLaterImages) {
  GifWriter writer(screen(2, 2));
  writer.graphicControl({25, true, 3}).image(filledImage(2, 2, 1)).image(filledImage(2, 2, 2));
  writer.graphicControl({4, false, 0}).image(filledImage(2, 2, 3)).trailer();
  auto gif = openBytes(writer.bytes());
  for (int image = 0; image < 2; ++image) {
    ASSERT_EQ(gifNextFrame(gif.get()), 1);
    EXPECT_EQ(gif->delay, 25) << image;
    EXPECT_EQ(gif->hasTransparency, 1) << image;
    EXPECT_EQ(gif->transparentIndex, 3) << image;
  }
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(gif->delay, 4);
  EXPECT_EQ(gif->hasTransparency, 0);
}

TEST(GifNextFrame, DisposalBelongsToOneImageWhileTheDelayCarriesOver) {
  auto control = [](std::uint8_t packed, std::uint16_t delay) {
    return GifBytes{0x21, 0xF9, 4, packed, static_cast<std::uint8_t>(delay), static_cast<std::uint8_t>(delay >> 8), 0, 0};
  };
  auto join = [](std::initializer_list<GifBytes> parts) {
    GifBytes out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
  };
  const GifBytes plainText = {0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 1, 1, 0, 1, 2, 'h', 'i', 0};
  const GifBytes comment = {0x21, 0xFE, 1, 'c', 0};
  struct Step {
    const char* what;
    GifBytes before;  // the blocks between the previous image and this one
    int disposal, delay;
  };
  const std::vector<Step> steps = {
      {"restore to background", control(2 << 2, 10), 2, 10},
      {"no extension of its own", {}, 0, 10},
      {"text and comment between", join({control(3 << 2, 0), comment, plainText}), 3, 0},
      {"the last of two", join({control(1 << 2, 5), control(0, 7)}), 0, 7},
      {"beside user input and transparency", control(7 << 2 | 2 | 1, 1), 7, 1},
      {"the high bit alone", control(4 << 2, 1), 4, 1},
  };
  GifWriter writer(screen(2, 2));
  for (const auto& step : steps) writer.raw(step.before).image(filledImage(2, 2, 1));
  writer.raw(control(2 << 2, 3)).trailer();
  TempGifFile file(writer.bytes());

  GifDecoderReport report;
  GifHandle gif(gifOpen(file.path()));
  std::vector<int> disposals;
  for (const auto& step : steps) {
    ASSERT_EQ(gifNextFrame(gif.get()), 1) << step.what;
    EXPECT_EQ(gif->disposal, step.disposal) << step.what;
    EXPECT_EQ(gif->delay, step.delay) << step.what;
    disposals.push_back(step.disposal);
  }
  EXPECT_EQ(gifNextFrame(gif.get()), 0);
  EXPECT_EQ(report.disposalByImage(), disposals) << "one entry per image, none for the trailer";
}

TEST(GifDecoderReport, TakesWhatTheDecodersOfItsOwnThreadSay) {
  GifScreen old = screen(2, 2);
  old.version = "87a";
  TempGifFile oldFile(GifWriter(old).trailer().bytes(), "old");
  TempGifFile oddFile(GifWriter(screen(2, 2)).raw({0x21, 0x02, 0}).image(filledImage(2, 2, 1)).trailer().bytes(), "odd");
  auto decodeAll = [](const char* path) {
    GifHandle gif(gifOpen(path));
    while (gif && gifNextFrame(gif.get()) == 1) continue;
  };
  ::testing::internal::CaptureStderr();
  {
    GifDecoderReport outer;
    {
      GifDecoderReport inner;
      decodeAll(oddFile.path());
      EXPECT_EQ(inner.messages(), "unknown extension: 02\n");
      EXPECT_EQ(inner.version(), "89a");
      EXPECT_EQ(inner.disposalByImage(), std::vector<int>{0});
    }
    decodeAll(oldFile.path());  // the outer report again
    std::thread(decodeAll, oddFile.path()).join();  // a thread without a report of its own
    EXPECT_EQ(outer.messages(), "invalid version\n");
    EXPECT_EQ(outer.version(), "87a");
    EXPECT_TRUE(outer.disposalByImage().empty());
  }
  decodeAll(oldFile.path());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "unknown extension: 02\ninvalid version\n");
}

TEST(GifNextFrame, SkipsOtherExtensionsAndReportsUnknownOnes) {
  // An application block whose data looks like a trailer and an image descriptor.
  const char app[] = "\x21\xFF\x0B" "XMPDataXMP1" "\x03" "abc" "\x02\x3B\x2C";
  GifBytes appExtension(app, app + sizeof app);  // with the string's 0 as the terminator
  GifBytes plainText = {0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 1, 1, 0, 1, 2, 'h', 'i', 0};
  GifBytes unknown = {0x21, 0x02, 2, 0x2C, 0x3B, 0};

  GifWriter writer(screen(2, 2));
  writer.raw(appExtension).comment(std::string(300, ',')).raw(plainText).raw(unknown);
  writer.image(filledImage(2, 2, 3)).trailer();
  TempGifFile file(writer.bytes());
  GifHandle gif(gifOpen(file.path()));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "unknown extension: 02\n");
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 2, 2), GifBytes(4, 3));
  EXPECT_EQ(gif->loopCount, 0);
  EXPECT_EQ(gifNextFrame(gif.get()), 0);
}

TEST(GifNextFrame, ImagesWriteOnlyTheirRectangleAndSetThePalette) {
  GifImage local = filledImage(2, 1, 1, 1, 1);
  local.localTable = testPalette(16);
  local.localTable[3] = 99;
  GifWriter writer(screen(4, 3, 4, 2));
  writer.image(local).image(filledImage(1, 3, 3, 3, 0)).trailer();
  auto gif = openBytes(writer.bytes());

  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(gif->palette, &gif->localTable);
  EXPECT_EQ(gif->localTable.count, 16);
  EXPECT_EQ(gif->localTable.rgb[1][0], 99);
  EXPECT_EQ((std::vector<int>{gif->frameLeft, gif->frameTop, gif->frameWidth, gif->frameHeight}),
            (std::vector<int>{1, 1, 2, 1}));
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 4, 3), (GifBytes{2, 2, 2, 2, 2, 1, 1, 2, 2, 2, 2, 2}));

  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(gif->palette, &gif->globalTable);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 4, 3), (GifBytes{2, 2, 2, 3, 2, 1, 1, 3, 2, 2, 2, 3}));
}

TEST(GifNextFrame, InterlacedRowsLandInPassOrder) {
  // Every height from 1 to 32: each of the four passes starts, or is empty, at some height.
  std::vector<std::vector<int>> expected;
  for (int height = 1; height <= 32; ++height) {
    std::vector<int> rows;  // rows[k]: the image row of stream row k
    for (auto [first, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
      for (int row = first; row < height; row += step) rows.push_back(row);
    expected.push_back(rows);
  }
  EXPECT_EQ(expected[8], (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7}));
  for (const auto& rows : expected) {
    const int height = static_cast<int>(rows.size());
    GifBytes streamOrder;  // stream row k holds the value k
    for (int k = 0; k < height; ++k) streamOrder.push_back(static_cast<std::uint8_t>(k));
    GifImage descriptor = filledImage(1, height, 0);
    descriptor.interlaced = true;
    GifWriter writer(screen(1, height, 32));
    writer.imageWithCodes(descriptor, 5, gifLzwEncode(streamOrder.data(), streamOrder.size(), 5)).trailer();
    auto gif = openBytes(writer.bytes());
    ASSERT_EQ(gifNextFrame(gif.get()), 1);
    for (int k = 0; k < height; ++k)
      EXPECT_EQ(gif->indices[rows[k]], k) << "height " << height << ", stream row " << k;
    for (int k = 0; k < height; ++k) EXPECT_EQ(interlacedRow(height, k), static_cast<unsigned>(rows[k]));
  }
}

TEST(GifLzw, CodeTableStartsWithRootsAndGrowsByDoubling) {
  LzwCodeTable* table = lzwTableCreate(2);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->capacity, 256);
  EXPECT_EQ(table->count, 6);
  EXPECT_EQ(table->entries[3].suffix, 3);
  EXPECT_EQ(table->entries[3].prefix, LzwNoPrefix);
  table->count = 256;
  ASSERT_TRUE(lzwTableReserve(table));
  EXPECT_EQ(table->capacity, 512);
  EXPECT_EQ(table->entries[3].suffix, 3) << "entries survive the move";
  lzwTableFree(table);

  table = lzwTableCreate(8);
  EXPECT_EQ(table->capacity, 512);
  EXPECT_EQ(table->count, 258);
  lzwTableFree(table);
}

namespace {
// One 4 x 1 image (or as given) whose code stream is exactly `codes`.
GifHandle imageFromCodes(const std::vector<std::pair<unsigned, int>>& codes, int minCodeSize = 2,
                         int width = 3, int height = 1, int screenWidth = 0) {
  GifBitPacker packer;
  for (auto [code, bits] : codes) packer.put(code, bits);
  GifWriter writer(screen(screenWidth ? screenWidth : width, height, 4, 3));
  writer.imageWithCodes(filledImage(width, height, 0), minCodeSize, packer.bytes()).trailer();
  return openBytes(writer.bytes());
}
}  // namespace

TEST(GifLzw, CodeOfTheEntryBeingDefinedRepeatsThePreviousString) {
  auto gif = imageFromCodes({{4, 3}, {0, 3}, {6, 3}});
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 3, 1), (GifBytes{0, 0, 0}));
}

TEST(GifLzw, EarlyEndKeepsTheRestAndTheNextBlockIsFound) {
  // Stop code after two pixels of four; then end of data after one pixel of four.
  GifBitPacker stopped, cut;
  stopped.put(4, 3).put(1, 3).put(2, 3).put(5, 3);
  cut.put(4, 3).put(2, 3);
  GifWriter writer(screen(4, 1, 4, 3));
  writer.imageWithCodes(filledImage(4, 1, 0), 2, stopped.bytes());
  writer.imageWithCodes(filledImage(4, 1, 0), 2, cut.bytes());
  writer.image(filledImage(1, 1, 0, 3)).trailer();
  auto gif = openBytes(writer.bytes());
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 4, 1), (GifBytes{1, 2, 3, 3}));
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 4, 1), (GifBytes{2, 2, 3, 3}));
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 4, 1), (GifBytes{2, 2, 3, 0}));
  EXPECT_EQ(gifNextFrame(gif.get()), 0);

  // No stop code, and the last code ends exactly with the last byte (3 + 3 + 3 + 3 + 4 bits).
  gif = imageFromCodes({{4, 3}, {1, 3}, {2, 3}, {1, 3}, {2, 4}}, 2, 5);
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 5, 1), (GifBytes{1, 2, 1, 2, 3}));
}

TEST(GifLzw, StreamWithoutLeadingClearIsDecodedAsIfItHadOne) {
  auto gif = imageFromCodes({{1, 3}, {2, 3}, {6, 3}});
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 3, 1), (GifBytes{1, 2, 1}));
}

TEST(GifLzw, CodeNotYetInTheTableIsRefused) {
  EXPECT_EQ(gifNextFrame(imageFromCodes({{4, 3}, {1, 3}, {7, 3}}).get()), -1);
  EXPECT_EQ(gifNextFrame(imageFromCodes({{4, 3}, {6, 3}}).get()), -1) << "only roots after a clear";
}

TEST(GifLzw, MinimumCodeSizeOutside2To8IsRefused) {
  for (int size : {0, 1, 9, 11, 255}) {
    GifWriter writer(screen(2, 1));
    writer.imageWithCodes(filledImage(2, 1, 0), size, {0x00, 0x00}).trailer();
    EXPECT_EQ(gifNextFrame(openBytes(writer.bytes()).get()), -1) << size;
  }
}

TEST(GifLzw, StringPastTheRectangleIsCut) {
  // A 2 x 1 rectangle at the left of a 4 x 1 screen: 0, then "00" would reach pixel 2.
  auto gif = imageFromCodes({{4, 3}, {0, 3}, {6, 3}, {6, 3}}, 2, 2, 1, 4);
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 4, 1), (GifBytes{0, 0, 3, 3}));

  // A run of zeros comes as strings of 1, 2, 3, ... characters: strings of up to 20 characters
  // that cross the end of one-row rectangles of every width up to 200, interlaced or not; the
  // rest of the screen, the row below included, stays.
  const GifBytes run(210, 0);
  const GifBytes codes = gifLzwEncode(run.data(), run.size(), 2);
  for (int width = 1; width <= 200; ++width) {
    GifImage descriptor = filledImage(width, 1, 0);
    descriptor.interlaced = width % 2 == 0;
    GifWriter writer(screen(210, 2, 4, 3));
    writer.imageWithCodes(descriptor, 2, codes).trailer();
    auto cut = openBytes(writer.bytes());
    ASSERT_EQ(gifNextFrame(cut.get()), 1) << width;
    GifBytes expected(2 * 210, 3);
    std::fill(expected.begin(), expected.begin() + width, 0);
    ASSERT_EQ(screenRect(cut.get(), 0, 0, 210, 2), expected) << width;
  }
}

TEST(GifLzw, RectanglePastTheScreenIsClipped) {
  GifWriter writer(screen(4, 3, 16, 15));
  writer.image(patternImage(3, 2, 16, 2, 2));        // reaches past right and bottom
  writer.image(patternImage(5, 5, 16, 1000, 1000));  // wholly outside
  GifImage interlaced = patternImage(6, 9, 16, 0, 1);
  interlaced.interlaced = true;
  writer.image(interlaced).trailer();
  auto gif = openBytes(writer.bytes());
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 4, 3), (GifBytes{15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 0, 1}));
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 4, 3), (GifBytes{15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 0, 1}));
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 4, 3), (GifBytes{15, 15, 15, 15, 0, 1, 2, 3, 3, 4, 5, 6}));
  EXPECT_EQ(gifNextFrame(gif.get()), 0);
}

TEST(GifLzw, FullTableKeepsDecodingAtTwelveBitsUntilAClear) {
  // Noise fills the table quickly; with a deferred clear the codes stay at 12 bits.
  GifImage noise = filledImage(200, 150, 0);
  std::uint32_t state = 12345;
  for (auto& index : noise.indices) {
    state = state * 1103515245u + 12345u;
    index = static_cast<std::uint8_t>((state >> 16) & 15);
  }
  for (int clearAfter : {-1, 0, 1, 500}) {
    GifImage image = noise;
    image.lzw.clearWhenFull = false;
    image.lzw.clearAfterFullCodes = clearAfter;
    auto gif = openBytes(GifWriter(screen(200, 150, 16)).image(image).image(image).trailer().bytes());
    ASSERT_EQ(gifNextFrame(gif.get()), 1);
    ASSERT_EQ(screenRect(gif.get(), 0, 0, 200, 150), noise.indices) << clearAfter;
  }
}

TEST(GifNextFrame, ReaderIsLeftAtTheEndOfTheImageData) {
  GifWriter writer(screen(4, 4));
  writer.comment("x").image(patternImage(4, 4, 4));
  const long imageEnd = static_cast<long>(writer.bytes().size());
  writer.trailer();
  auto gif = openBytes(writer.bytes());
  EXPECT_EQ(gif->reader->offset(), 13 + 12) << "after the global table";
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(gif->reader->offset(), imageEnd);
}

TEST(GifNextFrame, TruncatedFilesEndWithZeroOrMinusOne) {
  // Every prefix of a file with every kind of block: no stale bytes, no endless loop.
  GifImage local = patternImage(7, 5, 16, 1, 1);
  local.localTable = testPalette(16);
  local.interlaced = true;
  GifWriter writer(screen(9, 7, 16));
  writer.loop(3).graphicControl({7, true, 2}).comment("comment").image(patternImage(9, 7, 16));
  writer.raw({0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 1, 1, 0, 1, 1, 'x', 0});
  writer.image(local).trailer();
  const GifBytes whole = writer.bytes();

  for (std::size_t size = 0; size < whole.size(); ++size) {
    ::testing::internal::CaptureStderr();  // cut signatures and versions complain
    auto gif = openBytes(GifBytes(whole.begin(), whole.begin() + size));
    ::testing::internal::GetCapturedStderr();
    if (!gif) {
      EXPECT_LT(size, 13u + 48u) << "only a cut header or table refuses the file";
      continue;
    }
    int images = 0, result;
    while ((result = gifNextFrame(gif.get())) == 1) ASSERT_LT(++images, 3) << size;
    EXPECT_TRUE(result == 0 || result == -1) << size;
  }
}

TEST(GifLzw, RectangleFarWiderThanTheScreenIsClippedRowByRow) {
  // Too large for the linear buffer: strings go straight to the visible pixels.
  GifImage wide = patternImage(65535, 2, 16, 2, 1);
  GifImage interlaced = patternImage(40000, 5, 16, 0, 0);
  interlaced.interlaced = true;
  GifWriter writer(screen(4, 3, 16, 15));
  writer.image(wide).image(interlaced).trailer();
  auto gif = openBytes(writer.bytes());
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 4, 3), (GifBytes{15, 15, 15, 15, 15, 15, 0, 1, 15, 15, 3, 4}));
  ASSERT_EQ(gifNextFrame(gif.get()), 1);
  EXPECT_EQ(screenRect(gif.get(), 0, 0, 4, 3), (GifBytes{0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9}));
  EXPECT_EQ(gifNextFrame(gif.get()), 0);
}
