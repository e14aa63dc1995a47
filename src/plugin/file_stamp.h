#pragma once
// A file's size and last write time, as finely as the system keeps it: a GIF saved again within
// the same second at the same size still has a new stamp. Empty when the file cannot be asked
// (gone since it was listed).
#include <cstdint>
#include <filesystem>
#include <optional>

struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t time = 0;  // in the system's own unit
  bool operator==(const FileStamp& other) const { return size == other.size && time == other.time; }
};

std::optional<FileStamp> fileStamp(const std::filesystem::path& path);
