#pragma once
// Collects what is written to the standard error stream (file descriptor 2) while it lives, so
// the decoder's own messages can be shown beside the file they were about.
#include <cstdio>
#include <string>

class StderrCapture {
 public:
  StderrCapture();   // if no temporary file can be made, nothing is captured
  ~StderrCapture();  // restores the stream
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Restores the stream and returns what was written since construction.
  std::string finish();

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};
