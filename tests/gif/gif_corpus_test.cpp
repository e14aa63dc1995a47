// Hostile files kept with their expected outcome (tests/data/gif/expected.txt), including
// inputs the fuzzers once crashed on: decoder results image by image, then the frame list.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "gif/frame_list.h"
#include "gif/gif_decoder.h"

namespace {

const std::string CorpusFolder = VELQUOR_TEST_DATA "/gif/";

std::string decoderOutcome(const std::string& path) {
  GifDecoder* gif = gifOpen(path.c_str());
  if (!gif) return "null";
  std::string results;
  for (int result = 1, calls = 0; result == 1 && calls < 1000; ++calls) {
    result = gifNextFrame(gif);
    results += (results.empty() ? "" : " ") + std::to_string(result);
  }
  gifClose(gif);
  return results;
}

std::string frameListOutcome(const std::string& path, const std::string& name) {
  try {
    const auto list = FrameList::load(path.c_str(), name);
    return "frames " + std::to_string(list->frames.size()) + (list->cutShort ? ", cut short" : "");
  } catch (const std::exception& error) {
    return std::string("error ") + error.what();
  }
}

std::string trim(const std::string& text) {
  auto begin = text.find_first_not_of(' '), end = text.find_last_not_of(' ');
  return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

}  // namespace

TEST(GifCorpus, EveryFileGivesItsExpectedOutcome) {
  std::ifstream manifest(CorpusFolder + "expected.txt");
  ASSERT_TRUE(manifest) << CorpusFolder << "expected.txt";
  int files = 0;
  for (std::string line; std::getline(manifest, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, decoder, list;
    std::getline(fields, name, '|');
    std::getline(fields, decoder, '|');
    std::getline(fields, list);
    const std::string path = CorpusFolder + trim(name);
    ::testing::internal::CaptureStderr();  // some files complain, as they should
    EXPECT_EQ(decoderOutcome(path), trim(decoder)) << name;
    EXPECT_EQ(frameListOutcome(path, trim(name)), trim(list)) << name;
    ::testing::internal::GetCapturedStderr();
    ++files;
  }
  EXPECT_GE(files, 10);
}
