#pragma once
// Where the PNG decoder's bytes come from: a file (by the C runtime's descriptor, as the GIF
// decoder reads) or a block of memory (the fuzz target and tests).
#include <cstddef>
#include <cstdint>

class PngInput {
 public:
  virtual ~PngInput() = default;
  // Up to n bytes; fewer only at the end of the input.
  virtual std::size_t read(std::uint8_t* out, std::size_t n) = 0;
};

class PngMemoryInput : public PngInput {
 public:
  PngMemoryInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t read(std::uint8_t* out, std::size_t n) override;

 private:
  const std::uint8_t* data_;
  std::size_t size_, at_ = 0;
};

class PngFileInput : public PngInput {
 public:
  explicit PngFileInput(const char* utf8Path);  // opened() tells whether it could be
  ~PngFileInput() override;
  PngFileInput(const PngFileInput&) = delete;
  PngFileInput& operator=(const PngFileInput&) = delete;
  bool opened() const { return fd_ >= 0; }
  std::size_t read(std::uint8_t* out, std::size_t n) override;

 private:
  int fd_;
};
