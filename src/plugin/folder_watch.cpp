#include "plugin/folder_watch.h"

#include <set>
#include <utility>

#include "plugin/file_stamp.h"
#include "plugin/folder_listing.h"

namespace {

bool endsWith(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

FolderWatch::FolderWatch(std::string folder) : folder_(std::move(folder)) {
  if (auto listing = list()) previous_ = handedOn_ = std::move(*listing);
}

bool FolderWatch::lookDue(std::int64_t nowMs) {
  if (lastLook_ && nowMs - *lastLook_ < IntervalMs) return false;
  lastLook_ = nowMs;
  return true;
}

int FolderWatch::listingsToSettle(const Files& files) {
  if (files.gif && files.gif->size == 0) return 1 + static_cast<int>(IncompleteWaitMs / IntervalMs);
  return 2;
}

std::vector<FolderChange> FolderWatch::check() {
  folderMissingBefore_ = folderMissing_;
  std::optional<Listing> listing = list();
  if (!listing) return {};
  std::set<std::string> names;
  for (const auto& entry : *listing) names.insert(entry.first);
  for (const auto& entry : handedOn_) names.insert(entry.first);

  std::vector<FolderChange> changes;
  const Files none;
  auto filesOf = [&none](const Listing& in, const std::string& name) -> const Files& {
    const auto found = in.find(name);
    return found == in.end() ? none : found->second;
  };
  std::map<std::string, int> alike;
  for (const auto& name : names) {
    const Files& now = filesOf(*listing, name);
    const Files& before = filesOf(previous_, name);
    const Files& made = filesOf(handedOn_, name);
    if (now == made) continue;
    // Counted from the listing that first found the files as they are now.
    const int inARow = alike[name] = now == before ? alike_[name] + 1 : 1;
    if (inARow < listingsToSettle(now)) continue;
    // Settings without their GIF, before and after, concern no animation.
    if (now.gif || made.gif) changes.push_back({name, now.gif.has_value()});
    if (now.gif || now.cfg)
      handedOn_[name] = now;
    else
      handedOn_.erase(name);
  }
  previous_ = std::move(*listing);
  alike_ = std::move(alike);
  return changes;
}

std::optional<FolderWatch::Listing> FolderWatch::list() {
  Listing listing;
  folderMissing_ = folderPlace(folder_) != FolderPlace::Folder;
  if (folderMissing_) return listing;
  const std::error_code error = listAnimationFolder(folder_, [&](const ListedEntry& entry) {
    if (entry.kind == ListedKind::Animation) {
      // The stamp of the file that plays: a GIF beside its PNG changes nothing. A name with one
      // file needs no question to the folder; of two, the second one met asks the rule.
      std::optional<FileStamp>& stamp = listing[entry.textureName].gif;
      if (!stamp || chooseAnimationFile(animationBase(folder_, entry.textureName)).skipped != entry.fileName)
        stamp = fileStamp(entry.path);
    } else if (entry.kind == ListedKind::NotGif && endsWith(entry.fileName, SettingsExtension)) {
      listing[entry.fileName.substr(0, entry.fileName.size() - SettingsExtension.size())].cfg =
          fileStamp(entry.path);
    }
  });
  if (error) return std::nullopt;
  return listing;
}
