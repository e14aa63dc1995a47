// Throughput of our GIF decoder and frame list against giflib's DGifSlurp and stb_image, in MB/s
// of input, over every .gif of a folder (default: the generated benchmark set).
//   gif_bench [FOLDER]
// Without a folder, the benchmark set is generated on first use. Rates are per second of this
// process's processor time, the best of a few rounds: other work on a busy machine then costs
// the decoders little, and costs them alike.
#include <gif_lib.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <ctime>
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

// MB/s of one decoder on one file, run repeatedly for at least `minSeconds` of processor time so
// that small files are timed as well as big ones; `images` receives what it decoded (-1: failed).
double measureFile(const InputFile& file, const DecodeOne& decode, double minSeconds, int& images) {
  images = decode(file);  // also warms the caches
  int runs = 0;
  double seconds = 0;
  const std::clock_t start = std::clock();
  do {
    decode(file);
    ++runs;
    seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
  } while (seconds < minSeconds);
  return double(file.bytes.size()) * runs / seconds / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : VELQUOR_BENCH_GIFS;
  if (argc == 1 && !std::filesystem::exists(folder + "/.made")) {
    std::filesystem::create_directories(folder);
    std::string command = std::string("\"") + VELQUOR_MAKE_SAMPLES + "\" bench \"" + folder + "\" >/dev/null";
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "gif_bench: could not generate the benchmark set in %s\n", folder.c_str());
      return 1;
    }
    std::ofstream(folder + "/.made") << "generated\n";
  }
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
  const double minSeconds = 0.1;
  const int rounds = 3;
  struct Decoder {
    const char* name;
    DecodeOne decode;
    std::vector<double> perFile;  // MB/s
    double seconds = 0;           // for one pass over every file
    bool agrees = true;           // decoded as many images as giflib did
  } runs[] = {{"ours (gifOpen/gifNextFrame/gifClose)", ours, {}},
              {"FrameList::load", frameList, {}},
              {"giflib DGifSlurp", giflib, {}},
              {"stb_image stbi_load_gif_from_memory", stb, {}}};
  // Decoders take turns on each file, so a busy machine slows them alike; each keeps its best round.
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (Decoder& d : runs) d.perFile.push_back(0);
    for (int round = 0; round < rounds; ++round)
      for (Decoder& d : runs) {
        int images = 0;
        d.perFile[i] = std::max(d.perFile[i], measureFile(files[i], d.decode, minSeconds, images));
        if (images != expected[i]) d.agrees = false;
      }
    for (Decoder& d : runs) d.seconds += files[i].bytes.size() / 1e6 / d.perFile[i];
  }

  std::printf("GIF decoding over %zu files, %.1f MB of input (MB/s of input)\n\n", files.size(), totalBytes / 1e6);
  std::printf("%-28s %9s %9s %9s %9s\n", "file", "ours", "load", "giflib", "stb");
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::string name = std::filesystem::path(files[i].path).filename().string();
    std::printf("%-28s %9.1f %9.1f %9.1f %9.1f\n", name.c_str(), runs[0].perFile[i], runs[1].perFile[i],
                runs[2].perFile[i], runs[3].perFile[i]);
  }
  std::printf("\n");
  double rate[4];
  for (int k = 0; k < 4; ++k) {
    rate[k] = totalBytes / 1e6 / runs[k].seconds;
    std::printf("%-40s %8.1f MB/s%s\n", runs[k].name, rate[k],
                runs[k].agrees ? "" : "  (image counts differ from giflib!)");
  }
  std::printf("\nours / giflib            %.2fx (goal >= 6.00)\n", rate[0] / rate[2]);
  std::printf("FrameList::load / giflib %.2fx (goal >= 1.00)\n", rate[1] / rate[2]);
  std::printf("ours / stb_image         %.2fx\n", rate[0] / rate[3]);
  return 0;
}
