#pragma once
// Watches the animation folder while the game runs. Each listing notes the size and time of every
// "<name>.gif" (or the "<name>.png" that plays instead of it) and "<name>.cfg" (the loader's
// listing rules decide which entries count). A change is handed on only once the files of that
// texture look the same on two listings in a row: a file that a tool is still writing keeps
// changing and is not read half-way. What was handed on is not
// handed on again until it changes again, so a file that stays broken is reported once.
// An empty GIF is a file being written (a save that truncates it first): it is handed on only
// once it has stayed empty for IncompleteWaitMs. A folder that is gone (deleted, renamed away)
// is a folder without files: every animation goes, and comes back with the folder.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "plugin/file_stamp.h"

struct FolderChange {
  std::string textureName;
  bool gifPresent = false;  // false: the GIF is gone and the texture goes back to the game
};

// One thread at a time: the texture manager has it look on its worker thread, never on the
// game's (a look at a folder of a hundred files takes milliseconds of system calls under Wine).
class FolderWatch {
 public:
  // No more than one look per interval.
  static constexpr std::int64_t IntervalMs = 1'000;
  // How long a GIF that looks still being written (empty, or ending before its trailer) keeps
  // the animation as it was before its frames are shown as they are.
  static constexpr std::int64_t IncompleteWaitMs = 5'000;

  // Notes the folder as it is now: what the loader is about to make is no change.
  explicit FolderWatch(std::string folder);

  // True when IntervalMs has gone by since the last time it said true, or since the last look
  // ended when that was later (true the first time). A look at thousands of files takes longer
  // than the interval under Wine; counted from its start, the worker would do nothing but look.
  bool lookDue(std::int64_t nowMs);
  void lookEnded(std::int64_t nowMs) { lastLook_ = nowMs; }
  // Lists the folder now; the settled changes, in texture name order. A listing that fails part
  // way changes nothing.
  std::vector<FolderChange> check();
  // True when the last check found no folder where the one before it found one.
  bool folderJustWentMissing() const { return folderMissing_ && !folderMissingBefore_; }

 private:
  struct Files {
    std::optional<FileStamp> gif, cfg;
    bool operator==(const Files& other) const { return gif == other.gif && cfg == other.cfg; }
    bool operator!=(const Files& other) const { return !(*this == other); }
  };
  using Listing = std::map<std::string, Files>;

  std::optional<Listing> list();
  // Listings in a row that must find a texture's files alike before they are handed on.
  static int listingsToSettle(const Files& files);

  std::string folder_;
  Listing handedOn_;  // what the animations were made from
  Listing previous_;  // the listing before, to tell a settled change
  std::map<std::string, int> alike_;  // per texture, listings in a row that found its files alike
  bool folderMissing_ = false, folderMissingBefore_ = false;
  std::optional<std::int64_t> lastLook_;
};
