#pragma once
// The names log, Velquor/names.txt: every texture name the game drew, once, in the order first
// seen, with its size, its Direct3D format and whether it was animated then. Lines are kept in
// memory and appended to the file at most once a second, so a crash of the game loses at most
// the last second; names already in the file (from an earlier run) are not written again.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

constexpr std::string_view NamesLogFile = "names.txt";
// Inside the animation folder: where pick mode saves the game's pictures.
constexpr std::string_view PickedFolder = "picked";

struct SeenTexture {
  std::string name;
  int width = 0;
  int height = 0;
  std::string format;  // textureFormatName of the raster's texture
  bool animated = false;
};

// One line of the file: "name<TAB>WxH<TAB>format<TAB>animated|still"; names may hold spaces.
std::string namesLogLine(const SeenTexture& texture);
// The texture of a line, nothing for a comment ("#...") or a line without a tab.
std::optional<SeenTexture> parseNamesLogLine(std::string_view line);
// Every texture of the file at path, in its order; empty when there is no such file.
std::vector<SeenTexture> readNamesLog(const std::string& path);

class NamesLog {
 public:
  static constexpr std::int64_t WriteEveryMs = 1'000;

  explicit NamesLog(std::string path) : path_(std::move(path)) {}

  // Keeps the texture for the next write unless its name is known (the file is read first).
  void note(const SeenTexture& texture);
  // Appends what was noted since the last write when a second has passed (or at once with
  // force). Returns false when the file cannot be written (the lines stay for the next try).
  bool write(std::int64_t nowMs, bool force = false);
  bool hasPending() const { return !pending_.empty(); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool read_ = false;
  std::set<std::string, std::less<>> known_;
  std::string pending_;
  std::int64_t lastWriteMs_ = 0;
};
