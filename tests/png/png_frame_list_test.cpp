// PNG files as frame lists: the corpus's frames reach the textures' pixels unchanged, with their
// delays, loop count and partial alpha; their memory is counted at 4 bytes a pixel and given
// back; refusals keep the decoder's message or name what is too large.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "gif/frame_tiles.h"
#include "png/animation_frames.h"
#include "png/apng_writer.h"
#include "png/png_writer.h"
#include "plugin/temp_folder.h"

namespace {

const std::string Corpus = VELQUOR_TEST_DATA "/png/";

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string loadError(const std::string& path, std::uint64_t room = UINT64_MAX) {
  try {
    loadAnimationFrames(path.c_str(), "shown.png", room);
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(no error)";
}

}  // namespace

TEST(PngFrameList, CorpusFramesDelaysLoopsAndAlphaReachTheTexturesPixels) {
  struct Case {
    const char* name;
    std::size_t frames;
    std::int64_t total;         // ms
    std::uint32_t runs;         // with the loop count honoured
    bool partialAlpha;
  };
  const Case cases[] = {
      {"dispose-none-blend-source.png", 3, 203, 0, false},   // plays for ever
      {"dispose-none-blend-over.png", 3, 203, 1, false},     // once
      {"dispose-background-blend-source.png", 3, 203, 2, false},
      {"partial-alpha-over.png", 3, 233, 0, true},
      {"grey-alpha-split.png", 3, 140, 5, false},  // alpha 0 and 255 only
      {"rgb-trns-still.png", 1, 0, 0, false},
  };
  const std::uint64_t before = FrameList::decodedInUse();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Corpus + c.name;
    auto list = loadAnimationFrames(path.c_str(), {}, UINT64_MAX, {false, false, true});
    ASSERT_EQ(list->frames.size(), c.frames);
    EXPECT_EQ(list->totalDuration, c.total);
    EXPECT_EQ(list->runsBeforeStop(), c.runs);
    EXPECT_EQ(list->partialAlpha, c.partialAlpha);
    const unsigned w = list->width, h = list->height;
    EXPECT_EQ(FrameList::decodedInUse() - before, FrameList::decodedBytes(w, h, c.frames, FramePixels::Argb));
    EXPECT_EQ(FrameList::decodedBytes(w, h, 1, FramePixels::Argb) - FrameList::decodedBytes(w, h, 1), 3u * w * h);
    // The pixels a texture gets, with and without background, tile by tile: the golden frames.
    const std::vector<std::uint8_t> golden = readFile(path.substr(0, path.size() - 4) + ".rgba");
    ASSERT_EQ(golden.size(), std::size_t{4} * w * h * c.frames);
    for (std::size_t f = 0; f < c.frames; ++f) {
      const AnimationFrame& frame = *list->frames[f];
      EXPECT_EQ(frame.kind(), FramePixels::Argb);
      std::vector<std::uint32_t> texture(std::size_t{w} * h, 0xDEADBEEF);
      frame.writePixels(texture.data(), static_cast<int>(w * 4), f % 2 == 0);
      const FrameTile lastRow{1, h - 1, w - 1, 1};
      std::vector<std::uint32_t> tile(w, 0);
      frame.writeTile(tile.data(), static_cast<int>(w * 4), false, lastRow);
      for (std::size_t i = 0; i < texture.size(); ++i) {
        const std::uint8_t* rgba = &golden[(f * w * h + i) * 4];
        const std::uint32_t argb = std::uint32_t{rgba[3]} << 24 | rgba[0] << 16 | rgba[1] << 8 | rgba[2];
        ASSERT_EQ(texture[i], argb) << "frame " << f << ", pixel " << i;
        ASSERT_EQ(frame.pixel(static_cast<int>(i % w), static_cast<int>(i / w), false), argb);
        if (i / w == h - 1 && i % w >= 1) {
          ASSERT_EQ(tile[i % w - 1], argb);
        }
      }
    }
    list.reset();
    EXPECT_EQ(FrameList::decodedInUse(), before);
  }
}

TEST(PngFrameList, RefusalsNameTheFileAndWhatIsWrong) {
  // The decoder's own words for broken and oversized files.
  EXPECT_EQ(loadError(Corpus + "truncated.png").rfind("shown.png is not a PNG Velquor can show: ", 0), 0u);
  EXPECT_NE(loadError(Corpus + "bomb-frames.png").find("shown.png is too large: its 30 frames of 8192 x 8192"),
            std::string::npos);
  EXPECT_THROW(loadAnimationFrames((Corpus + "bomb-frames.png").c_str()), gif_too_large);
  // A canvas the decoder takes but a frame cannot hold.
  TempFolder folder;
  const std::vector<std::uint32_t> wide(70'000, 0xFF102030);
  const std::string widePath = folder.file("wide.png");
  ASSERT_TRUE(VelquorPng::writePng(widePath, 70'000, 1, wide.data()));
  EXPECT_EQ(loadError(widePath), "shown.png is too large: its frames are 70000 x 1, and Velquor shows frames of "
                                 "at most 65535 x 65535 pixels.");
  // No room in the decoded frames' budget now: nothing wrong with the file.
  const std::string small = Corpus + "palette-4bit.png";
  EXPECT_THROW(loadAnimationFrames(small.c_str(), {}, FrameList::decodedBytes(9, 5, 2)), gif_no_room);
  EXPECT_EQ(loadAnimationFrames(small.c_str(), {}, FrameList::decodedBytes(9, 5, 3, FramePixels::Argb))->frames.size(), 3u);
  // A GIF still goes the GIF way.
  EXPECT_EQ(animationFileKind("Velquor/fire.gif"), AnimationFileKind::Gif);
  EXPECT_EQ(animationFileKind("Velquor/fire.png"), AnimationFileKind::Png);
  EXPECT_EQ(loadError(Corpus + "palette-4bit.rgba"),
            "Cannot open GIF file (missing, not GIF89a, or no global colour table)");
}

TEST(PngFrameList, TheTestsApngWriterMakesFilesTheDecoderPlays) {
  // Used by the game tests and the appearance benchmark: its frames, delays and plays come back.
  std::vector<VelquorPng::ApngFrame> frames;
  for (std::uint32_t colour : {0x80FF0000u, 0xFF00FF00u, 0x400000FFu})
    frames.push_back({std::vector<std::uint32_t>(300 * 200, colour), static_cast<std::uint16_t>(colour >> 24)});
  TempFolder folder;
  const std::string path = folder.write("made.png", "");
  const std::vector<std::uint8_t> bytes = VelquorPng::encodeApng(300, 200, frames, 3);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
  auto list = loadAnimationFrames(path.c_str(), {}, UINT64_MAX, {false, false, true});
  ASSERT_EQ(list->frames.size(), 3u);
  EXPECT_EQ(list->runsBeforeStop(), 3u);
  EXPECT_TRUE(list->partialAlpha);
  for (std::size_t f = 0; f < 3; ++f) {
    EXPECT_EQ(list->frames[f]->delay, frames[f].delayMs);
    EXPECT_EQ(list->frames[f]->pixel(299, 199, false), frames[f].argb[0]);
  }
}
