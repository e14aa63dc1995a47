#include "plugin/names_log.h"

#include <cstdlib>

#include <filesystem>
#include <fstream>

namespace {

constexpr std::string_view Header =
    "# Texture names the game drew, once each, in the order first seen (Velquor, names=1 in Velquor.ini)\n"
    "# name<TAB>size<TAB>format<TAB>animated or still when first seen\n";

std::string_view field(std::string_view& rest) {
  const std::size_t tab = rest.find('\t');
  const std::string_view value = rest.substr(0, tab);
  rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
  return value;
}

}  // namespace

std::string namesLogLine(const SeenTexture& t) {
  return t.name + "\t" + std::to_string(t.width) + "x" + std::to_string(t.height) + "\t" + t.format + "\t" +
         (t.animated ? "animated" : "still") + "\n";
}

std::optional<SeenTexture> parseNamesLogLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty() || line[0] == '#' || line.find('\t') == std::string_view::npos) return std::nullopt;
  SeenTexture t;
  t.name = std::string(field(line));
  const std::string size(field(line));
  const std::size_t x = size.find('x');
  if (x != std::string::npos) {
    t.width = std::atoi(size.c_str());
    t.height = std::atoi(size.c_str() + x + 1);
  }
  t.format = std::string(field(line));
  t.animated = field(line) == "animated";
  return t;
}

std::vector<SeenTexture> readNamesLog(const std::string& path) {
  std::vector<SeenTexture> seen;
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  for (std::string line; std::getline(in, line);)
    if (auto t = parseNamesLogLine(line)) seen.push_back(std::move(*t));
  return seen;
}

void NamesLog::note(const SeenTexture& texture) {
  if (!read_) {
    read_ = true;
    for (SeenTexture& t : readNamesLog(path_)) known_.insert(std::move(t.name));
  }
  if (!known_.insert(texture.name).second) return;
  pending_ += namesLogLine(texture);
}

bool NamesLog::write(std::int64_t nowMs, bool force) {
  if (pending_.empty() || (!force && nowMs - lastWriteMs_ < WriteEveryMs)) return true;
  lastWriteMs_ = nowMs;
  std::error_code error;
  const auto file = std::filesystem::u8path(path_);
  const bool fresh = !std::filesystem::exists(file, error);
  // Opened and closed for each write: what was written is the system's even if the game dies.
  std::ofstream out(file, std::ios::binary | std::ios::app);
  if (fresh) out << Header;
  out << pending_;
  out.close();
  if (!out) return false;
  pending_.clear();
  return true;
}
