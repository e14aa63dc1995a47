#pragma once
// The machine-readable trace: one JSON object per line, kept in memory for drivers and written
// (flushed line by line, so a crash loses nothing) to a file or the standard output.
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "tools/json/json_quote.h"

namespace Standin {

// Builds one line: JsonLine("draw").field("frame", 3).hex("raster", r).text()
class JsonLine {
 public:
  explicit JsonLine(const std::string& event);
  JsonLine& field(const char* key, long long value);
  JsonLine& field(const char* key, bool value);
  JsonLine& field(const char* key, const std::string& value);
  JsonLine& field(const char* key, const char* value) { return field(key, std::string(value)); }
  JsonLine& hex(const char* key, std::uint32_t value);
  // A value that is already JSON (an array or object).
  JsonLine& raw(const char* key, const std::string& json);
  std::string text() const { return body_ + "}"; }

 private:
  void key(const char* name);
  std::string body_;
};

inline std::string jsonQuoted(const std::string& text) { return VelquorJson::quoted(text); }
std::string hexBytes(const std::vector<std::uint8_t>& bytes);
std::string hexAddress(std::uint32_t value);

class TraceWriter {
 public:
  ~TraceWriter();
  // "-" is the standard output; an empty path keeps the trace in memory only.
  bool open(const std::string& path);
  void write(const JsonLine& line);
  std::vector<std::string> lines() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
};

}  // namespace Standin
