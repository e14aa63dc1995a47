#include <sstream>

#include "check/check_report.h"

namespace {

std::string mib(std::uint64_t bytes) {
  std::ostringstream out;
  out.setf(std::ios::fixed);
  out.precision(2);
  out << bytes / 1048576.0 << " MiB";
  return out.str();
}

std::string settingsLine(const SettingsPrediction& s) {
  if (!s.exists) return "no settings file: background transparent, no overrides";
  std::ostringstream out;
  out << s.path << ": background "
      << (s.background.value_or(false) ? "kept opaque" : "transparent");
  if (s.override.value_or(false)) {
    out << ", override on (palette index "
        << (s.numberColorPalette ? std::to_string(*s.numberColorPalette) : "not set") << ", alpha "
        << (s.alpha ? std::to_string(*s.alpha) : "not set") << ")";
  } else {
    out << ", override off";
  }
  if (s.disposal.value_or(false)) out << ", disposal methods honoured";
  if (s.loop.value_or(false)) out << ", loop count honoured";
  return out.str();
}

// A box's text may have several lines; each goes on a line of its own, indented.
std::string indented(const std::string& text, const char* indent) {
  std::string out;
  for (char c : text) out += c == '\n' ? "\n" + std::string(indent) : std::string(1, c);
  return out;
}

void boxes(std::ostringstream& out, const char* when, const std::vector<ShownBox>& shown) {
  for (const auto& box : shown)
    out << "  problem " << when << ": [" << box.caption << "] " << indented(box.text, "    ") << "\n";
}

void animation(std::ostringstream& out, const AnimationPrediction& a) {
  out << a.fileName << " -> texture \"" << a.textureName << "\"";
  if (!a.catalogued) out << ": NOT animated";
  else out << (a.decodedAtStart ? " (decoded at start)" : " (decoded when first drawn)");
  out << "\n  settings: " << settingsLine(a.settings) << "\n";
  const GifPrediction& g = a.gif;
  if (g.accepted) {
    out << "  GIF " << g.version << ": " << g.width << " x " << g.height << ", " << g.delaysMs.size()
        << " frame(s), delays (ms):";
    // Runs of one delay, as most animations have, are written once with their length.
    for (std::size_t i = 0, run; i < g.delaysMs.size(); i += run) {
      for (run = 1; i + run < g.delaysMs.size() && g.delaysMs[i + run] == g.delaysMs[i];) ++run;
      out << " " << g.delaysMs[i];
      if (run > 1) out << " (x" << run << ")";
    }
    out << "; " << g.totalMs << " ms in all; ";
    if (g.loopCountGiven) out << "loop count " << g.loopCount;
    else out << "no loop count";
    if (a.settings.loop.value_or(false))
      out << (g.runsBeforeStop == 0 ? ": repeats for ever"
                                    : ": plays " + std::to_string(g.runsBeforeStop) +
                                          " time(s), then stays on its last frame until out of view");
    out << "\n";
    out << "  memory: " << mib(g.decodedBytes) << " while decoded, " << mib(g.decodedBytes + g.textureBytes)
        << " while uploaded\n";
  } else {
    out << "  GIF refused: " << g.refusal << "\n";
  }
  std::istringstream decoder(g.decoderMessages);
  for (std::string line; std::getline(decoder, line);) out << "  decoder says: " << line << "\n";
  boxes(out, "at start", a.boxesAtStart);
  boxes(out, "when first drawn", a.boxesAtFirstUse);
  for (const auto& note : a.ignored) out << "  ignored: " << note << "\n";
  for (const auto& warning : a.warnings) out << "  warning: " << warning << "\n";
}

}  // namespace

std::string formatText(const FolderPrediction& p) {
  std::ostringstream out;
  out << "Folder " << p.folder << "\n";
  int catalogued = 0, atStart = 0;
  for (const auto& a : p.animations) {
    catalogued += a.catalogued;
    atStart += a.catalogued && a.decodedAtStart;
  }
  out << catalogued << " animation(s): " << atStart << " decoded at start, " << catalogued - atStart
      << " when first drawn\n\n";
  for (const auto& a : p.animations) animation(out, a);

  if (!p.skipped.empty()) {
    out << "\nSkipped:\n";
    for (const auto& s : p.skipped) out << "  " << s.fileName << ": " << s.reason << "\n";
  }
  out << "\nTexture names: ";
  if (p.namesLogFound)
    out << "checked against " << p.namesLogPath << ", the names the game drew\n";
  else
    out << "no " << p.namesLogPath << " to check the GIFs' names against; "
        << (p.namesLogOn ? "play the game with the module" : "put names=1 in Velquor.ini, play the game")
        << " to make one, then run the checker again\n";
  out << "\nLive folder: " << (p.watch ? "on, changes are played while the game runs" : "off (Velquor.ini)") << "\n";
  const auto shown = p.boxesAtStart();
  out << "\nMessage boxes at start, in order:" << (shown.empty() ? " none" : "") << "\n";
  for (const auto& box : shown) out << "  [" << box.caption << "] " << indented(box.text, "    ") << "\n";
  const std::size_t problems = p.problemsAtStart().size();
  if (problems > 0)
    out << "  (" << problems << " problem(s) at start, every one written to the module's log)\n";

  out << "\nMemory: " << mib(p.memory.atStart) << " decoded at start; at most "
      << mib(p.memory.worstCase) << " while playing (the largest animations kept, uploaded), "
      << mib(p.memory.texturesTogether) << " of it textures; "
      << "the module keeps decoded frames within " << mib(Limits::DecodedBudget) << " and textures within "
      << mib(Limits::TextureBudget) << "\n";

  if (!p.mistakes.empty()) {
    out << "\nLikely mistakes:\n";
    for (const auto& m : p.mistakes) out << "  " << m << "\n";
  }
  const auto failures = p.failures();
  out << "\n";
  if (failures.empty()) {
    out << "Nothing would go wrong in the game.\n";
  } else {
    out << failures.size() << " problem(s) would show in the game:\n";
    for (const auto& f : failures) out << "  " << indented(f, "    ") << "\n";
  }
  return out.str();
}

int exitStatus(const FolderPrediction& prediction, bool strict) {
  if (!prediction.failures().empty()) return 1;
  if (strict && !prediction.mistakes.empty()) return 1;
  return 0;
}
