// Throughput of our GIF decoder and frame list against giflib's DGifSlurp and stb_image, in MB/s
// of input, over every .gif of a folder (default: the generated benchmark set).
//   gif_bench [FOLDER]
#include <gif_lib.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "gif/frame_list.h"
#include "gif/gif_decoder.h"

namespace {

struct InputFile {
  std::string path;
  std::vector<unsigned char> bytes;
};

// What a decoder produced for one file; compared across decoders to catch a benchmark that
// measures a failure.
using DecodeOne = std::function<int(const InputFile&)>;  // images decoded, -1 on failure

volatile unsigned sink;

int ours(const InputFile& f) {
  GifDecoder* gif = gifOpen(f.path.c_str());
  if (!gif) return -1;
  int images = 0, r;
  while ((r = gifNextFrame(gif)) == 1) {
    sink = sink + gif->indices[0];
    ++images;
  }
  gifClose(gif);
  return r == 0 ? images : -1;
}

int frameList(const InputFile& f) {
  try {
    std::unique_ptr<FrameList> list = FrameList::load(f.path.c_str());
    sink = sink + list->frames.back()->indices[0];
    return int(list->frames.size());
  } catch (const std::exception&) {
    return -1;
  }
}

int giflib(const InputFile& f) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(f.path.c_str(), &error);
  if (!gif) return -1;
  int images = DGifSlurp(gif) == GIF_OK ? gif->ImageCount : -1;
  if (images > 0) sink = sink + gif->SavedImages[0].RasterBits[0];
  DGifCloseFile(gif, &error);
  return images;
}

int stb(const InputFile& f) {
  int* delays = nullptr;
  int w = 0, h = 0, frames = 0, comp = 0;
  stbi_uc* pixels = stbi_load_gif_from_memory(f.bytes.data(), int(f.bytes.size()), &delays, &w, &h, &frames, &comp, 4);
  if (!pixels) return -1;
  sink = sink + pixels[0];
  stbi_image_free(pixels);
  stbi_image_free(delays);
  return frames;
}

struct Result {
  double mbPerSecond = 0;
  std::vector<double> perFile;  // MB/s of each file
  bool agrees = true;
};

// Runs each file repeatedly for at least `minSeconds`, so small files are timed as well as big ones.
Result measure(const std::vector<InputFile>& files, const DecodeOne& decode, const std::vector<int>& expected,
               double minSeconds) {
  using Clock = std::chrono::steady_clock;
  Result result;
  double totalBytes = 0, totalSeconds = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (decode(files[i]) != expected[i]) result.agrees = false;  // also warms the cache
    int runs = 0;
    auto start = Clock::now();
    double seconds = 0;
    do {
      decode(files[i]);
      ++runs;
      seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < minSeconds);
    double bytes = double(files[i].bytes.size()) * runs;
    result.perFile.push_back(bytes / seconds / 1e6);
    totalBytes += double(files[i].bytes.size());
    totalSeconds += seconds / runs;
  }
  result.mbPerSecond = totalBytes / totalSeconds / 1e6;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : VELQUOR_BENCH_GIFS;
  std::vector<InputFile> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (entry.path().extension() != ".gif") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files.push_back({entry.path().string(), {std::istreambuf_iterator<char>(in), {}}});
  }
  if (files.empty()) {
    std::fprintf(stderr, "gif_bench: no .gif files in %s\n", folder.c_str());
    return 1;
  }
  std::sort(files.begin(), files.end(), [](const InputFile& a, const InputFile& b) { return a.path < b.path; });

  std::vector<int> expected;
  std::size_t totalBytes = 0;
  for (const InputFile& f : files) {
    expected.push_back(giflib(f));
    totalBytes += f.bytes.size();
  }
  const double minSeconds = 0.25;
  struct Named {
    const char* name;
    DecodeOne decode;
    Result result;
  } runs[] = {{"ours (gifOpen/gifNextFrame/gifClose)", ours, {}},
              {"FrameList::load", frameList, {}},
              {"giflib DGifSlurp", giflib, {}},
              {"stb_image stbi_load_gif_from_memory", stb, {}}};
  for (Named& r : runs) r.result = measure(files, r.decode, expected, minSeconds);

  std::printf("GIF decoding over %zu files, %.1f MB of input (MB/s of input)\n\n", files.size(), totalBytes / 1e6);
  std::printf("%-28s %9s %9s %9s %9s\n", "file", "ours", "load", "giflib", "stb");
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::string name = std::filesystem::path(files[i].path).filename().string();
    std::printf("%-28s %9.1f %9.1f %9.1f %9.1f\n", name.c_str(), runs[0].result.perFile[i], runs[1].result.perFile[i],
                runs[2].result.perFile[i], runs[3].result.perFile[i]);
  }
  std::printf("\n");
  for (const Named& r : runs)
    std::printf("%-40s %8.1f MB/s%s\n", r.name, r.result.mbPerSecond,
                r.result.agrees ? "" : "  (image counts differ from giflib!)");
  const double giflibRate = runs[2].result.mbPerSecond;
  std::printf("\nours / giflib            %.2fx (goal >= 2.00)\n", runs[0].result.mbPerSecond / giflibRate);
  std::printf("FrameList::load / giflib %.2fx (goal >= 1.00)\n", runs[1].result.mbPerSecond / giflibRate);
  std::printf("ours / stb_image         %.2fx\n", runs[0].result.mbPerSecond / runs[3].result.mbPerSecond);
  return 0;
}
