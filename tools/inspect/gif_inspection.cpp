#include "inspect/gif_inspection.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "gif/gif_decoder_report.h"
#include "gif/image_disposal.h"
#include "gif/memory_limits.h"
#include "plugin/animation_config.h"
#include "plugin/message_box.h"
#include "png/animation_frames.h"

namespace fs = std::filesystem;

std::uint64_t GifInspection::decodedBytes() const {
  if (!frames) return 0;
  const FramePixels kind = frames->frames.empty() ? FramePixels::Indexed : frames->frames[0]->kind();
  const std::uint64_t perFrame = FrameList::decodedBytes(frames->width, frames->height, 1, kind) +
                                 sizeof(std::unique_ptr<AnimationFrame>);
  return sizeof(FrameList) + perFrame * frames->frames.size();
}

std::uint64_t GifInspection::textureBytes() const {
  if (!frames) return 0;
  return Limits::textureBytes(frames->width, frames->height, frames->frames.size());
}

bool GifInspection::disposalMatters() const {
  return std::any_of(disposalByImage.begin(), disposalByImage.end(), disposalRestores);
}

GifInspection inspectGif(const std::string& path, const std::string& shownName) {
  GifInspection result;
  result.path = path;

  // The settings as the module reads them: <name>.cfg beside <name>.gif.
  const fs::path settings = fs::u8path(path).replace_extension(".cfg");
  std::error_code ec;
  result.hasSettings = fs::exists(settings, ec);
  setMessageBoxHandler([&](const std::string& text, const std::string& caption, unsigned) {
    result.settingsMessages += text + " (" + caption + ")\n";
    return 0;
  });
  {
    AnimationConfig config(settings.u8string());
    const FrameOptions options = config.frameOptions();
    result.keepBackground = options.keepBackground;
    result.honourDisposal = options.honourDisposal;
    result.honourLoopCount = options.honourLoopCount;
  }
  setMessageBoxHandler(nullptr);

  GifDecoderReport decoder;
  try {
    result.frames = loadAnimationFrames(path.c_str(), shownName, UINT64_MAX, result.options());
    result.accepted = true;
    for (const auto& frame : result.frames->frames) result.delays.push_back(frame->delay);
  } catch (const std::exception& e) {
    result.refusal = e.what();
  }
  result.decoderMessages = decoder.messages();
  result.version = decoder.version();
  result.disposalByImage = decoder.disposalByImage();
  return result;
}

std::vector<std::string> gifPathsIn(const std::string& path) {
  std::error_code ec;
  if (!fs::is_directory(fs::u8path(path), ec)) return {path};
  std::vector<std::string> paths;
  for (const auto& entry : fs::directory_iterator(fs::u8path(path), ec)) {
    const auto extension = entry.path().extension();
    if (extension == ".gif" || extension == ".png") paths.push_back(entry.path().u8string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

namespace {

std::string megabytes(std::uint64_t bytes) {
  std::ostringstream s;
  s.setf(std::ios::fixed);
  s.precision(2);
  s << bytes / 1048576.0 << " MiB (" << bytes << " bytes)";
  return s.str();
}

std::string numbers(const std::vector<int>& values) {
  std::string text;
  for (int value : values) text += " " + std::to_string(value);
  return text;
}

void indented(std::ostringstream& out, const char* label, const std::string& lines) {
  std::istringstream in(lines);
  std::string line;
  while (std::getline(in, line)) out << "  " << label << line << "\n";
}

}  // namespace

std::string formatInspection(const GifInspection& r) {
  std::ostringstream out;
  out << r.path << ": " << (r.accepted ? "accepted" : "refused: " + r.refusal) << "\n";
  indented(out, "decoder: ", r.decoderMessages);
  indented(out, "settings: ", r.settingsMessages);
  if (!r.accepted) return out.str();
  const FrameList& list = *r.frames;
  out << "  logical size: " << list.width << " x " << list.height << "\n";
  out << "  frames: " << list.frames.size() << "\n";
  out << "  delays (ms):";
  for (std::int64_t d : r.delays) out << " " << d;
  out << "\n  total duration: " << list.totalDuration << " ms\n";
  if (list.loopCountGiven)
    out << "  loop count: " << list.loopCount << (list.loopCount == 0 ? " (endless)" : "") << "\n";
  else
    out << "  loop count: none (a browser plays it once)\n";
  const std::uint32_t runs = list.runsBeforeStop();
  out << "  in the game: "
      << (!list.honourLoopCount ? "repeats for ever (loop=1 plays the loop count)"
          : runs == 0           ? "repeats for ever (loop=1)"
                                : "plays " + std::to_string(runs) +
                                      " time(s), then stays on its last frame until out of view (loop=1)")
      << "\n";
  if (r.disposalMatters())
    out << "  disposal methods:" << numbers(r.disposalByImage)
        << (r.honourDisposal ? " (honoured: disposal=1)" : " (ignored: disposal=1 honours them)") << "\n";
  out << "  background: " << (r.keepBackground ? "kept opaque" : "transparent")
      << (r.hasSettings ? " (by its settings file)" : " (no settings file)") << "\n";
  out << "  memory while decoded: " << megabytes(r.decodedBytes()) << ": " << list.frames.size() << " frames x ("
      << list.width << " x " << list.height
      << (list.frames.empty() || list.frames[0]->kind() == FramePixels::Indexed ? " indices + " : " x 4 bytes + ") << sizeof(AnimationFrame) - sizeof(AnimationFrame::palette) + sizeof(std::unique_ptr<AnimationFrame>)
      << " record + " << sizeof(AnimationFrame::palette) << " palette)\n";
  out << "  memory while uploaded: " << megabytes(r.textureBytes()) << " of textures, plus the decoded frames\n";
  return out.str();
}
