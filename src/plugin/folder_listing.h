#pragma once
// The loader's rules for the animation folder, kept apart from the Windows-only loader so that
// the folder checker applies exactly the same ones: which entries become animations and under
// which texture name, which are decoded at start, and how a failure is captioned.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>

#include "host/host.h"
#include "plugin/catalogue.h"

// The longest name a game texture can have: its name field holds the name and a zero.
constexpr std::size_t MaxTextureNameLength = Host::TextureNameSize - 1;

// What the loader does with one entry of the folder, decided before anything is opened.
enum class ListedKind {
  Animation,       // "<name>.gif" or "<name>.png": may become the animation of texture <name>
                   // (chooseAnimationFile decides when both are there)
  Directory,       // skipped: sub-folders are not looked into
  NotGif,          // skipped: the extension is not exactly ".gif" or ".png" (".GIF" included)
  UnreadableName,  // skipped: the name cannot be converted to UTF-8
  DeviceName,      // skipped: Windows would open a device (aux.gif, con.cfg, ...)
  LongName,        // skipped: "<name>.gif" or ".png" whose name no game texture can have (too long)
};

struct ListedEntry {
  ListedKind kind = ListedKind::NotGif;
  std::filesystem::path path;  // as the listing yields it
  std::string fileName;        // UTF-8; empty when unreadable
  std::string textureName;     // Animation, LongName: the UTF-8 file name without its extension
  std::string problem;         // UnreadableName: what the conversion reported
};

// Why the loader skips a file of this kind, in the words of its log line "loadAnimations:
// skipped <file name>: <reason>"; empty for the kinds without that line (Animation, Directory,
// NotGif; UnreadableName has a line of its own).
std::string loggedSkipReason(ListedKind kind);

// What stands where the animation folder should be. A Blocked place (a file of that name) is
// left alone: the module runs without animations.
enum class FolderPlace { Folder, Missing, Blocked };
FolderPlace folderPlace(const std::string& folder);

// The message box for a folder that cannot be made.
std::string folderFailureCaption(std::string_view folder);
std::string blockedFolderText(std::string_view folder);
// The log line for the folder gone (deleted, renamed away) while the game runs.
std::string folderGoneText(std::string_view folder);

// Visits the entries of folder in the order the system lists them. Returns the error that
// ended the listing (a missing folder included); an empty code when it ran to the end.
std::error_code listAnimationFolder(const std::string& folder,
                                    const std::function<void(const ListedEntry&)>& visit);

// Where an animation's files are: base + ".gif" or ".png", and base + SettingsExtension.
std::string animationBase(std::string_view folder, std::string_view textureName);
constexpr std::string_view SettingsExtension = ".cfg";

// The extensions of animation files, the first winning when a texture has both: a PNG carries
// more than a GIF (full colour, partial transparency), so a player who adds "fire.png" beside
// "fire.gif" means the PNG to play; the GIF is left alone.
constexpr std::string_view AnimationExtensions[] = {".png", ".gif"};

// The file that plays as the animation of `base` (animationBase): the first of
// AnimationExtensions that exists; base + ".gif" when neither does. `skipped` is the file name of
// the one that loses, empty when there is only one.
struct AnimationFileChoice {
  std::string path;
  std::string skipped;
};
AnimationFileChoice chooseAnimationFile(std::string_view base);
// Why the loader skips `skipped` for `chosenPath`: the log line's reason and the checker's.
std::string losingFileReason(std::string_view chosenPath);

// The caption of the message box for an animation that cannot be loaded, and its text: the
// error's own words, except for memory running out where the file is not named.
std::string loadFailureCaption(std::string_view textureName);
std::string loadFailureText(const std::exception& error, std::string_view gifPath);
// The log line for a GIF that ends before its trailer: the images it has play as they are.
std::string cutShortText(std::string_view gifPath, std::size_t images);

// The first animations made are decoded at once, the rest at their first use; a file that
// fails to load does not use up a place.
class PreloadBudget {
 public:
  // For files that come while the game runs: none is decoded on the game's thread.
  static PreloadBudget spent() {
    PreloadBudget budget;
    budget.made_ = PreloadedAnimations;
    return budget;
  }
  bool nextIsPreloaded() const { return made_ < PreloadedAnimations; }
  void made() { ++made_; }

 private:
  int made_ = 0;
};

// What the loader decided about one animation file.
struct AnimationDecision {
  bool decodedAtStart = false;  // made with its GIF decoded at once
  bool catalogued = false;      // false: making it failed and it is left out
};

// The loader's step for one animation file, in listing order: make(preload) makes the animation
// and stores it, decoding its GIF at once while the budget lasts. When make throws, a message
// box captioned loadFailureCaption(textureName) shows why (loadFailureText, naming gifPath) and
// the file is left out without using up a place.
AnimationDecision loadAnimationFile(PreloadBudget& budget, std::string_view textureName,
                                    std::string_view gifPath,
                                    const std::function<void(bool preload)>& make);
