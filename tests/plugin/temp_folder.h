#pragma once
// A fresh folder for one test, removed with everything in it afterwards. Names are UTF-8; on
// Windows they are written and removed by their long form (\\?\C:\...), which takes every name
// literally, so that a test can hold files named like devices (aux.gif) without opening one.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    path_ = std::filesystem::temp_directory_path() /
            ("velquor-plugin-" + stamp + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(literal(path_), ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const {
    return (path_ / std::filesystem::u8path(name)).u8string();
  }

  // Writes bytes exactly as given (no line-end translation).
  std::string write(const std::string& name, const std::string& bytes) const {
    const auto target = path_ / std::filesystem::u8path(name);
    std::filesystem::create_directories(target.parent_path());
    std::ofstream(literal(target), std::ios::binary) << bytes;
    return target.u8string();
  }

  static std::string read(const std::string& file) {
    std::ifstream in(std::filesystem::u8path(file), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  static std::filesystem::path literal(std::filesystem::path path) {
#ifdef _WIN32
    return L"\\\\?\\" + std::filesystem::absolute(path).make_preferred().wstring();
#else
    return path;
#endif
  }

  std::filesystem::path path_;
};
