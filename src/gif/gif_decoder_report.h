#pragma once
// What the decoder tells the tools beside its record: its fixed messages, the version each file
// declares and the disposal method of each image it reads. Without a report the messages go to
// the standard error stream and the rest goes nowhere. While a GifDecoderReport lives, the
// decoders run on the thread that made it hand everything to it instead; a report made inside
// another one takes over until it ends.
#include <cstdint>
#include <string>
#include <vector>

class GifDecoderReport {
 public:
  GifDecoderReport();
  ~GifDecoderReport();
  GifDecoderReport(const GifDecoderReport&) = delete;
  GifDecoderReport& operator=(const GifDecoderReport&) = delete;

  const std::string& messages() const { return messages_; }  // the fixed lines, in order
  // Of the last header read: "89a", "87a", ...; empty when no file got that far (missing, not a
  // GIF at all, or cut inside its version).
  const std::string& version() const { return version_; }
  // One entry per image decoded, in file order (see GifDecoder::disposal).
  const std::vector<int>& disposalByImage() const { return disposalByImage_; }

 private:
  friend void gifReportMessage(const char* line);
  friend void gifReportVersion(const std::uint8_t version[3]);
  friend void gifReportImage(int disposal);
  std::string messages_;
  std::string version_;
  std::vector<int> disposalByImage_;
  GifDecoderReport* outer_;
};

// The decoder's side of the seam.
void gifReportMessage(const char* line);
void gifReportVersion(const std::uint8_t version[3]);
void gifReportImage(int disposal);
