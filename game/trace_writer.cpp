#include "game/trace_writer.h"

namespace Standin {

std::string hexAddress(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(value));
  return buffer;
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (std::uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

JsonLine::JsonLine(const std::string& event) : body_("{\"event\":" + jsonQuoted(event)) {}

void JsonLine::key(const char* name) { body_ += "," + jsonQuoted(name) + ":"; }

JsonLine& JsonLine::field(const char* name, long long value) {
  key(name);
  body_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::field(const char* name, bool value) {
  key(name);
  body_ += value ? "true" : "false";
  return *this;
}

JsonLine& JsonLine::field(const char* name, const std::string& value) {
  key(name);
  body_ += jsonQuoted(value);
  return *this;
}

JsonLine& JsonLine::hex(const char* name, std::uint32_t value) { return field(name, hexAddress(value)); }

JsonLine& JsonLine::raw(const char* name, const std::string& json) {
  key(name);
  body_ += json;
  return *this;
}

TraceWriter::~TraceWriter() {
  if (ownsFile_ && file_) std::fclose(file_);
}

bool TraceWriter::open(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (path.empty()) return true;
  if (path == "-") {
    file_ = stdout;
    return true;
  }
  file_ = std::fopen(path.c_str(), "w");
  ownsFile_ = file_ != nullptr;
  return file_ != nullptr;
}

void TraceWriter::write(const JsonLine& line) {
  std::string text = line.text();
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(text);
  if (file_) {
    std::fputs(text.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
  }
}

std::vector<std::string> TraceWriter::lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

}  // namespace Standin
