#pragma once
// The loader's rules for the animation folder, kept apart from the Windows-only loader so that
// the folder checker applies exactly the same ones: which entries become animations and under
// which texture name, which are decoded at start, and how a failure is captioned.
#include <filesystem>
#include <functional>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>

#include "plugin/catalogue.h"

enum class ListedKind {
  Animation,       // "<name>.gif": becomes the animation of texture <name>
  Directory,       // skipped: sub-folders are not looked into
  NotGif,          // skipped: the extension is not exactly ".gif" (".GIF" included)
  UnreadableName,  // skipped: the name cannot be converted to UTF-8
};

struct ListedEntry {
  ListedKind kind = ListedKind::NotGif;
  std::filesystem::path path;  // as the listing yields it
  std::string textureName;     // Animation: the UTF-8 file name without ".gif"
  std::string problem;         // UnreadableName: what the conversion reported
};

// What stands where the animation folder should be. A Blocked place (a file of that name) is
// left alone: the module runs without animations.
enum class FolderPlace { Folder, Missing, Blocked };
FolderPlace folderPlace(const std::string& folder);

// The message box for a folder that cannot be made.
std::string folderFailureCaption(std::string_view folder);
std::string blockedFolderText(std::string_view folder);

// Visits the entries of folder in the order the system lists them. Returns the error that
// ended the listing (a missing folder included); an empty code when it ran to the end.
std::error_code listAnimationFolder(const std::string& folder,
                                    const std::function<void(const ListedEntry&)>& visit);

// Where an animation's files are: base + ".gif" and base + ".cfg".
std::string animationBase(std::string_view folder, std::string_view textureName);

// The caption of the message box for an animation that cannot be loaded, and its text: the
// error's own words, except for memory running out where the file is not named.
std::string loadFailureCaption(std::string_view textureName);
std::string loadFailureText(const std::exception& error, std::string_view gifPath);

// The first animations made are decoded at once, the rest at their first use; a file that
// fails to load does not use up a place.
class PreloadBudget {
 public:
  bool nextIsPreloaded() const { return made_ < PreloadedAnimations; }
  void made() { ++made_; }

 private:
  int made_ = 0;
};
