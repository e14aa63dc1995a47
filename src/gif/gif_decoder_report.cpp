#include "gif/gif_decoder_report.h"

#include <cstdio>

namespace {
// Per thread: the module's loading thread decodes with no report while a tool collects its own.
thread_local GifDecoderReport* reportOnThisThread = nullptr;
}  // namespace

GifDecoderReport::GifDecoderReport() : outer_(reportOnThisThread) { reportOnThisThread = this; }

GifDecoderReport::~GifDecoderReport() { reportOnThisThread = outer_; }

void gifReportMessage(const char* line) {
  if (reportOnThisThread)
    reportOnThisThread->messages_ += line;
  else
    std::fputs(line, stderr);
}

void gifReportVersion(const std::uint8_t version[3]) {
  if (reportOnThisThread) reportOnThisThread->version_.assign(version, version + 3);
}

void gifReportImage(int disposal) {
  if (reportOnThisThread) reportOnThisThread->disposalByImage_.push_back(disposal);
}
