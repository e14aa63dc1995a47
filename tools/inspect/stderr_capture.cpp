#include "inspect/stderr_capture.h"

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define fileno _fileno
#else
#include <unistd.h>
#endif

StderrCapture::StderrCapture() {
  std::fflush(stderr);
  file_ = std::tmpfile();
  if (!file_) return;
  saved_ = dup(2);
  if (saved_ < 0 || dup2(fileno(file_), 2) < 0) {
    if (saved_ >= 0) close(saved_);
    saved_ = -1;
    std::fclose(file_);
    file_ = nullptr;
  }
}

StderrCapture::~StderrCapture() { finish(); }

std::string StderrCapture::finish() {
  if (!file_) return {};
  std::fflush(stderr);
  dup2(saved_, 2);
  close(saved_);
  saved_ = -1;
  std::string text;
  std::rewind(file_);
  char buffer[512];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
  std::fclose(file_);
  file_ = nullptr;
  return text;
}
