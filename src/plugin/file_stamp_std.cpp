#include "plugin/file_stamp.h"

std::optional<FileStamp> fileStamp(const std::filesystem::path& path) {
  std::error_code sizeError, timeError;
  const auto size = std::filesystem::file_size(path, sizeError);
  const auto time = std::filesystem::last_write_time(path, timeError);
  if (sizeError || timeError) return std::nullopt;
  return FileStamp{size, static_cast<std::int64_t>(time.time_since_epoch().count())};
}
