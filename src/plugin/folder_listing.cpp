#include "plugin/folder_listing.h"

#include <exception>
#include <new>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view GifExtension = ".gif";

ListedEntry classify(const fs::directory_entry& entry) {
  ListedEntry listed;
  listed.path = entry.path();
  std::error_code typeError;
  // A type that cannot be read counts as a file.
  if (entry.is_directory(typeError)) {
    listed.kind = ListedKind::Directory;
    return listed;
  }
  try {
    if (entry.path().extension().u8string() != GifExtension) {
      listed.kind = ListedKind::NotGif;
      return listed;
    }
    std::string name = entry.path().filename().u8string();
    name.erase(name.size() - GifExtension.size());
    listed.textureName = std::move(name);
    listed.kind = ListedKind::Animation;
  } catch (const std::exception& e) {
    listed.kind = ListedKind::UnreadableName;
    listed.problem = e.what();
  }
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

std::string animationBase(std::string_view folder, std::string_view textureName) {
  std::string base(folder);
  base += '/';
  base += textureName;
  return base;
}

std::string loadFailureCaption(std::string_view textureName) {
  return "Can't load animation " + std::string(textureName);
}

std::string loadFailureText(const std::exception& error, std::string_view gifPath) {
  if (dynamic_cast<const std::bad_alloc*>(&error))
    return "Not enough memory for " + std::string(gifPath) + ".";
  return error.what();
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

std::string blockedFolderText(std::string_view folder) {
  return "Something that is not a folder is in the way of the folder " + std::string(folder) +
         "; move it away to play animations.";
}
