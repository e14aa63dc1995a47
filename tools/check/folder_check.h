#pragma once
// Predicts what the module will do with a folder of animations, file by file, by running the
// module's own rules on it: its folder listing, its settings reader (with the message boxes it
// would show recorded instead), and its decoder and frame list.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gif/memory_limits.h"

struct ShownBox {
  std::string caption;
  std::string text;
};

struct SettingsPrediction {
  bool exists = false;
  std::string path;            // as the module names it: "Velquor/<name>.cfg"
  std::string readFrom;        // the file actually read (differs in letter case at most)
  std::optional<bool> background;
  std::optional<bool> override;
  std::optional<std::uint8_t> alpha;
  std::optional<std::uint32_t> numberColorPalette;
  std::optional<bool> disposal;
  std::optional<bool> loop;
  std::vector<ShownBox> messages;  // in the order the module shows them
};

struct GifPrediction {
  bool accepted = false;
  std::string refusal;           // the module's message when refused
  std::string decoderMessages;   // what the decoder prints on the standard error stream
  std::string version;
  std::uint16_t width = 0, height = 0;
  std::vector<std::int64_t> delaysMs;
  std::int64_t totalMs = 0;
  std::uint16_t loopCount = 0;
  bool loopCountGiven = false;      // the file has a NETSCAPE extension
  std::uint32_t runsBeforeStop = 0; // runs through the frames the module plays before it stops (0: never)
  std::vector<int> disposalByImage;
  std::uint64_t decodedBytes = 0;   // frames held while decoded
  std::uint64_t textureBytes = 0;   // textures added while uploaded
  std::int64_t loopMsAtSixty = 0;   // one loop of the module's playback, drawn 60 times a second
  bool cutShort = false;            // the file ends before its trailer: its images play as they are
};

struct AnimationPrediction {
  std::string fileName;      // UTF-8
  std::string textureName;
  bool decodedAtStart = false;
  bool catalogued = false;   // false when decoding at start fails: the texture stays the game's
  SettingsPrediction settings;
  GifPrediction gif;
  std::vector<ShownBox> boxesAtStart;     // in full, before the limit on boxes at start
  std::vector<ShownBox> boxesAtFirstUse;
  std::vector<std::string> ignored;  // what the file asks for that the module does not do
  std::vector<std::string> warnings;
  // From Velquor/names.txt, when there is one: whether the game drew a texture of this name, and
  // the names it drew that are near it.
  bool textureSeen = false;
  std::vector<std::string> similarSeen;

  // On screen in the game: made, decoded, with a picture, and no message when its textures are
  // made.
  bool plays() const {
    return catalogued && gif.accepted && !gif.delaysMs.empty() && gif.width > 0 && gif.height > 0 &&
           boxesAtFirstUse.empty();
  }
};

struct SkippedFile {
  std::string fileName;
  std::string reason;
};

enum class FolderState { Folder, Missing, Blocked };


struct MemoryPrediction {
  std::uint64_t atStart = 0;       // frames decoded while loading
  std::uint64_t worstCase = 0;     // the largest animations the module keeps, all uploaded
  std::uint64_t texturesTogether = 0;  // the textures of those, all drawn at the same time
  std::uint64_t budget = Limits::DecodedBudget + Limits::TextureBudget;  // the module's two budgets
};

struct FolderPrediction {
  std::string folder;
  FolderState state = FolderState::Folder;
  std::string listingError;
  std::vector<AnimationPrediction> animations;  // in listing order
  std::vector<SkippedFile> skipped;
  std::vector<std::string> mistakes;            // likely mistakes of the folder as a whole
  MemoryPrediction memory;
  std::vector<ShownBox> folderBoxes;            // shown before any animation is made
  bool watch = true;                            // Velquor.ini: the folder is followed while the game runs
  std::vector<ShownBox> moduleSettingsBoxes;    // Velquor.ini's problems, the first at start
  bool namesLogFound = false;                   // Velquor/names.txt is there (names=1 made it)
  bool namesLogOn = false;                      // Velquor.ini says names=1
  std::string namesLogPath;

  // Every problem found while the module starts, one message per file, in order; all are logged.
  std::vector<ShownBox> problemsAtStart() const;
  // Every message box shown while the module starts, in order: the folder's, then at most a
  // handful for the problems, the last pointing to the log for the rest.
  std::vector<ShownBox> boxesAtStart() const;
  // Things the player would see go wrong in the game.
  std::vector<std::string> failures() const;
};

FolderPrediction checkFolder(const std::string& folder);
