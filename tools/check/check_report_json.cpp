#include <cstdio>
#include <optional>
#include <sstream>

#include "check/check_report.h"
#include "json/json_quote.h"

namespace {

using VelquorJson::quoted;

template <typename T>
std::string optional(const std::optional<T>& value) {
  if (!value) return "null";
  if constexpr (std::is_same_v<T, bool>) return *value ? "true" : "false";
  else return std::to_string(+*value);
}

std::string strings(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + quoted(items[i]);
  return out + "]";
}

template <typename T>
std::string numbers(const std::vector<T>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + std::to_string(items[i]);
  return out + "]";
}

std::string boxes(const std::vector<ShownBox>& shown) {
  std::string out = "[";
  for (std::size_t i = 0; i < shown.size(); ++i)
    out += std::string(i ? "," : "") + "{\"caption\":" + quoted(shown[i].caption) +
           ",\"text\":" + quoted(shown[i].text) + "}";
  return out + "]";
}

std::string settings(const SettingsPrediction& s) {
  return "{\"exists\":" + std::string(s.exists ? "true" : "false") + ",\"path\":" + quoted(s.path) +
         ",\"read_from\":" + quoted(s.readFrom) + ",\"background\":" + optional(s.background) +
         ",\"override\":" + optional(s.override) + ",\"alpha\":" + optional(s.alpha) +
         ",\"number_color_palette\":" + optional(s.numberColorPalette) +
         ",\"disposal\":" + optional(s.disposal) + ",\"loop\":" + optional(s.loop) +
         ",\"messages\":" + boxes(s.messages) + "}";
}

std::string gif(const GifPrediction& g) {
  std::ostringstream out;
  out << "{\"accepted\":" << (g.accepted ? "true" : "false") << ",\"refusal\":" << quoted(g.refusal)
      << ",\"decoder_messages\":" << quoted(g.decoderMessages) << ",\"version\":" << quoted(g.version)
      << ",\"width\":" << g.width << ",\"height\":" << g.height << ",\"frames\":" << g.delaysMs.size()
      << ",\"delays_ms\":" << numbers(g.delaysMs) << ",\"total_ms\":" << g.totalMs
      << ",\"loop_count\":" << g.loopCount << ",\"loop_count_given\":" << (g.loopCountGiven ? "true" : "false") << ",\"runs_before_stop\":" << g.runsBeforeStop << ",\"disposal\":" << numbers(g.disposalByImage)
      << ",\"cut_short\":" << (g.cutShort ? "true" : "false") << ",\"decoded_bytes\":" << g.decodedBytes << ",\"uploaded_bytes\":" << g.decodedBytes + g.textureBytes
      << "}";
  return out.str();
}

std::string animation(const AnimationPrediction& a) {
  return "{\"file\":" + quoted(a.fileName) + ",\"texture\":" + quoted(a.textureName) +
         ",\"catalogued\":" + (a.catalogued ? "true" : "false") +
         ",\"decoded_at_start\":" + (a.decodedAtStart ? "true" : "false") +
         ",\"settings\":" + settings(a.settings) + ",\"gif\":" + gif(a.gif) +
         ",\"boxes_at_start\":" + boxes(a.boxesAtStart) +
         ",\"boxes_at_first_use\":" + boxes(a.boxesAtFirstUse) + ",\"ignored\":" + strings(a.ignored) +
         ",\"warnings\":" + strings(a.warnings) + ",\"texture_seen\":" + (a.textureSeen ? "true" : "false") +
         ",\"similar_seen\":" + strings(a.similarSeen) + "}";
}

const char* stateName(FolderState state) {
  switch (state) {
    case FolderState::Missing: return "missing";
    case FolderState::Blocked: return "blocked";
    default: return "folder";
  }
}

}  // namespace

std::string formatJson(const FolderPrediction& p) {
  std::ostringstream out;
  out << "{\"folder\":" << quoted(p.folder) << ",\"state\":" << quoted(stateName(p.state))
      << ",\"animations\":[";
  for (std::size_t i = 0; i < p.animations.size(); ++i) out << (i ? "," : "") << animation(p.animations[i]);
  out << "],\"skipped\":[";
  for (std::size_t i = 0; i < p.skipped.size(); ++i)
    out << (i ? "," : "") << "{\"file\":" << quoted(p.skipped[i].fileName)
        << ",\"reason\":" << quoted(p.skipped[i].reason) << "}";
  out << "],\"watch\":" << (p.watch ? "true" : "false") << ",\"names_log_found\":" << (p.namesLogFound ? "true" : "false") << ",\"boxes_at_start\":" << boxes(p.boxesAtStart()) << ",\"memory\":{\"at_start\":"
      << p.memory.atStart << ",\"worst_case\":" << p.memory.worstCase
      << ",\"textures_together\":" << p.memory.texturesTogether << ",\"budget\":" << p.memory.budget
      << "},\"mistakes\":" << strings(p.mistakes) << ",\"failures\":" << strings(p.failures()) << "}\n";
  return out.str();
}
