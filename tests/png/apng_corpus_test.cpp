// The PNG decoder against the corpus in tests/data/png (made by make_corpus.py there): every good
// file's frames equal the reference reader's, with their delays and loop count; every hostile
// file is refused with its message, naming the file; and no cut or damaged copy of a good file
// gets anything else than frames or a message.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "png/apng_decoder.h"

namespace {

const std::string CorpusFolder = VELQUOR_TEST_DATA "/png/";

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Decoded {
  std::uint32_t width = 0, height = 0, loops = 0;
  std::string delays;                       // "100,70,33"
  std::vector<std::uint8_t> rgba;           // every frame, as the golden files hold them
  std::string message;                      // empty when every frame was read
};

Decoded decode(std::unique_ptr<ApngDecoder> png, const std::string& openMessage) {
  Decoded d;
  if (!png) {
    d.message = openMessage;
    return d;
  }
  d.width = png->width();
  d.height = png->height();
  d.loops = png->loopCount();
  int result;
  for (std::uint32_t calls = 0; (result = png->next()) == 1 && calls <= png->frameCount(); ++calls) {
    d.delays += (d.delays.empty() ? "" : ",") + std::to_string(png->frame().delayMs());
    const std::uint32_t* p = png->pixels();
    for (std::size_t i = 0, n = std::size_t{d.width} * d.height; i < n; ++i)
      d.rgba.insert(d.rgba.end(), {std::uint8_t(p[i] >> 16), std::uint8_t(p[i] >> 8), std::uint8_t(p[i]),
                                   std::uint8_t(p[i] >> 24)});
  }
  if (result != 0) d.message = result < 0 ? png->message() : "next() went on past the declared frames";
  return d;
}

Decoded decodeFile(const std::string& name) {
  ApngDecoder::Failure failure;
  std::string message;
  return decode(ApngDecoder::open((CorpusFolder + name).c_str(), name, failure, message), message);
}

Decoded decodeBytes(const std::vector<std::uint8_t>& bytes, const std::string& name) {
  ApngDecoder::Failure failure;
  std::string message;
  return decode(ApngDecoder::openMemory(bytes.data(), bytes.size(), name, failure, message), message);
}

struct CorpusLine {
  std::string name, outcome;
  std::uint32_t width = 0, height = 0, loops = 0;
  std::string delays, refusal;
};

std::vector<CorpusLine> corpus() {
  std::vector<CorpusLine> lines;
  std::ifstream manifest(CorpusFolder + "expected.txt");
  for (std::string text; std::getline(manifest, text);) {
    if (text.empty() || text[0] == '#') continue;
    std::istringstream fields(text);
    CorpusLine line;
    fields >> line.name >> line.outcome;
    if (line.outcome == "refused") {
      std::getline(fields >> std::ws, line.refusal);
    } else {
      line.width = std::stoul(line.outcome);
      fields >> line.height >> line.loops >> line.delays;
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

TEST(ApngCorpus, GoodFilesGiveTheReferenceFramesAndHostileOnesTheirMessage) {
  const std::vector<CorpusLine> lines = corpus();
  ASSERT_GE(lines.size(), 20u) << CorpusFolder << "expected.txt";
  for (const CorpusLine& line : lines) {
    SCOPED_TRACE(line.name);
    const Decoded d = decodeFile(line.name);
    // The same from memory: both inputs read alike.
    const Decoded m = decodeBytes(readFile(CorpusFolder + line.name), line.name);
    EXPECT_EQ(m.message, d.message);
    EXPECT_TRUE(m.rgba == d.rgba);
    if (!line.refusal.empty()) {
      EXPECT_NE(d.message.find(line.refusal), std::string::npos) << d.message;
      EXPECT_EQ(d.message.rfind(line.name, 0), 0u) << "the message names the file: " << d.message;
      continue;
    }
    EXPECT_EQ(d.message, "");
    EXPECT_EQ(d.width, line.width);
    EXPECT_EQ(d.height, line.height);
    EXPECT_EQ(d.loops, line.loops);
    EXPECT_EQ(d.delays, line.delays);
    const std::vector<std::uint8_t> golden = readFile(CorpusFolder + line.name.substr(0, line.name.size() - 4) + ".rgba");
    ASSERT_EQ(d.rgba.size(), golden.size());
    for (std::size_t i = 0; i < golden.size(); ++i)
      ASSERT_EQ(int(d.rgba[i]), int(golden[i])) << "frame " << i / (4 * line.width * line.height) + 1
                                                 << ", pixel " << i % (4 * line.width * line.height) / 4
                                                 << ", channel " << i % 4;
  }
}

TEST(ApngCorpus, CutOrDamagedCopiesGetFramesOrAMessageNamingTheFile) {
  for (const char* name : {"dispose-previous-blend-over.png", "rgb16-interlaced.png", "palette-4bit.png"}) {
    const std::vector<std::uint8_t> whole = readFile(CorpusFolder + name);
    ASSERT_FALSE(whole.empty()) << name;
    for (std::size_t size = 0; size < whole.size(); ++size) {
      const Decoded d = decodeBytes({whole.begin(), whole.begin() + size}, "cut.png");
      EXPECT_EQ(d.message.rfind("cut.png is not a PNG Velquor can show: ", 0), 0u) << size << ": " << d.message;
    }
    for (std::size_t at = 0; at < whole.size(); ++at) {
      std::vector<std::uint8_t> damaged = whole;
      damaged[at] ^= 0x21;
      const Decoded d = decodeBytes(damaged, "damaged.png");
      // A changed byte inside a chunk fails its CRC; one in a length or type breaks the layout.
      if (at >= 8) EXPECT_EQ(d.message.rfind("damaged.png ", 0), 0u) << at << ": " << d.message;
    }
  }
}
