#include "plugin/folder_listing.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <new>
#include <vector>

#include "plugin/device_names.h"
#include "plugin/message_box.h"

namespace fs = std::filesystem;

namespace {

std::string fileNameOf(std::string_view path) {
  const auto slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool exists(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(fs::u8path(path), error);
}

// True when the folder lists `path`'s file name exactly: where the system ignores the case of
// names, "fire.PNG" exists as "fire.png" too, but only the exact extension makes an animation.
bool listedExactly(const std::string& path) {
  const fs::path file = fs::u8path(path);
  const std::string name = file.filename().u8string();
  std::error_code error;
  for (fs::directory_iterator entries(file.parent_path(), error); !error && entries != fs::directory_iterator();
       entries.increment(error)) {
    try {
      if (entries->path().filename().u8string() == name) return true;
    } catch (const std::exception&) {
      // A name that cannot be converted is none of ours.
    }
  }
  return false;
}

ListedEntry classify(const fs::directory_entry& entry) {
  ListedEntry listed;
  listed.path = entry.path();
  std::string name;
  try {
    name = entry.path().filename().u8string();
    listed.fileName = name;
  } catch (const std::exception& e) {
    listed.kind = ListedKind::UnreadableName;
    listed.problem = e.what();
    return listed;
  }
  // Decided on the name alone: even asking for the entry's type may open the device.
  if (isDeviceName(name)) {
    listed.kind = ListedKind::DeviceName;
    return listed;
  }
  std::error_code typeError;
  // A type that cannot be read counts as a file.
  if (entry.is_directory(typeError)) {
    listed.kind = ListedKind::Directory;
    return listed;
  }
  const std::string extension = entry.path().extension().u8string();
  const auto* known = std::find(std::begin(AnimationExtensions), std::end(AnimationExtensions), extension);
  if (known == std::end(AnimationExtensions)) {
    listed.kind = ListedKind::NotGif;
    return listed;
  }
  name.erase(name.size() - extension.size());
  listed.kind = name.size() > MaxTextureNameLength ? ListedKind::LongName : ListedKind::Animation;
  listed.textureName = std::move(name);
  return listed;
}

}  // namespace

std::error_code listAnimationFolder(const std::string& folder,
                                    const std::function<void(const ListedEntry&)>& visit) {
  std::error_code error;
  fs::directory_iterator entries(fs::u8path(folder), error);
  for (; !error && entries != fs::directory_iterator(); entries.increment(error))
    visit(classify(*entries));
  return error;
}

std::string loggedSkipReason(ListedKind kind) {
  switch (kind) {
    case ListedKind::DeviceName:
      return "Windows reserves this name for a device: opening it would open the device";
    case ListedKind::LongName:
      return "a game texture name has at most " + std::to_string(MaxTextureNameLength) +
             " characters: no texture can have this one";
    default:
      return {};
  }
}

std::string animationBase(std::string_view folder, std::string_view textureName) {
  std::string base(folder);
  base += '/';
  base += textureName;
  return base;
}

AnimationFileChoice chooseAnimationFile(std::string_view base) {
  AnimationFileChoice choice;
  std::vector<std::string> there;
  for (std::string_view extension : AnimationExtensions)
    if (std::string path = std::string(base) + std::string(extension); exists(path)) there.push_back(std::move(path));
  // Only a texture with two files asks the folder for their exact names.
  if (there.size() > 1) there.erase(std::remove_if(there.begin(), there.end(), [](const std::string& path) {
    return !listedExactly(path);
  }), there.end());
  for (std::string& path : there) {
    if (choice.path.empty())
      choice.path = std::move(path);
    else
      choice.skipped = fileNameOf(path);
  }
  if (choice.path.empty()) choice.path = std::string(base) + ".gif";
  return choice;
}

std::string losingFileReason(std::string_view chosenPath) {
  return fileNameOf(chosenPath) + " has the same texture name, and a PNG plays rather than a GIF of the same name";
}

std::string loadFailureCaption(std::string_view textureName) {
  return "Can't load animation " + std::string(textureName);
}

std::string loadFailureText(const std::exception& error, std::string_view gifPath) {
  if (dynamic_cast<const std::bad_alloc*>(&error))
    return "Not enough memory for " + std::string(gifPath) + ".";
  return error.what();
}

std::string cutShortText(std::string_view gifPath, std::size_t images) {
  return std::string(gifPath) + " ends before its trailer (cut short): the " + std::to_string(images) +
         (images == 1 ? " image" : " images") + " it has play, the last one as far as it goes";
}

AnimationDecision loadAnimationFile(PreloadBudget& budget, std::string_view textureName,
                                    std::string_view gifPath,
                                    const std::function<void(bool preload)>& make) {
  AnimationDecision decision;
  decision.decodedAtStart = budget.nextIsPreloaded();
  try {
    make(decision.decodedAtStart);
  } catch (const std::exception& e) {
    messageBox(loadFailureText(e, gifPath), loadFailureCaption(textureName));
    return decision;
  }
  budget.made();
  decision.catalogued = true;
  return decision;
}

FolderPlace folderPlace(const std::string& folder) {
  std::error_code error;
  const fs::file_status status = fs::status(fs::u8path(folder), error);
  if (fs::is_directory(status)) return FolderPlace::Folder;
  return fs::exists(status) ? FolderPlace::Blocked : FolderPlace::Missing;
}

std::string folderFailureCaption(std::string_view folder) {
  return "Can't create folder " + std::string(folder);
}

std::string folderGoneText(std::string_view folder) {
  return "The folder " + std::string(folder) +
         " is gone: every animation gives its texture back to the game until a folder of that name is there again";
}

std::string blockedFolderText(std::string_view folder) {
  return "Something that is not a folder is in the way of the folder " + std::string(folder) +
         "; move it away to play animations.";
}
