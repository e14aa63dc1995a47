#include "check/folder_check.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>

#include "check/device_caps.h"
#include "check/similar_names.h"
#include "gif/image_disposal.h"
#include "inspect/gif_inspection.h"
#include "plugin/animation_config.h"
#include "plugin/catalogue.h"
#include "plugin/folder_listing.h"
#include "plugin/message_box.h"
#include "plugin/module_settings.h"
#include "plugin/names_log.h"
#include "plugin/png_settings.h"
#include "png/animation_frames.h"

namespace fs = std::filesystem;

namespace {

// The module's log as the released Velquor.asi names it: "!KelDescent_<module file name>.log".
constexpr std::string_view ModuleLogFile = "!KelDescent_Velquor.asi.log";

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool isAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

std::string numberList(const std::vector<int>& numbers) {
  std::ostringstream out;
  for (std::size_t i = 0; i < numbers.size(); ++i) out << (i ? ", " : "") << numbers[i];
  return out.str();
}

std::string lastFolderName(const std::string& folder) {
  fs::path path = fs::u8path(folder).lexically_normal();
  if (!path.has_filename()) path = path.parent_path();  // "Velquor/"
  return path.filename().u8string();
}

// Shows the module's message boxes to a list instead of the player while it lives.
class BoxRecorder {
 public:
  explicit BoxRecorder(std::vector<ShownBox>& boxes) {
    setMessageBoxHandler([&boxes](const std::string& text, const std::string& caption, unsigned) {
      boxes.push_back({caption, text});
      return 1;
    });
  }
  ~BoxRecorder() { setMessageBoxHandler(nullptr); }
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;
};

// The listing of the folder, in its order.
using Listing = std::vector<ListedEntry>;

// Windows (and Wine) find "<name>.cfg" whatever the letter case of the file is; a checker on a
// case-sensitive system looks it up the same way.
std::string settingsFile(const std::string& folder, const std::string& textureName,
                         const Listing& listing) {
  const std::string exact = animationBase(folder, textureName) + std::string(SettingsExtension);
#ifndef _WIN32
  std::error_code ignored;
  if (!fs::exists(fs::u8path(exact), ignored)) {
    const std::string wanted = lowerCase(textureName + std::string(SettingsExtension));
    for (const auto& entry : listing)
      if (!entry.fileName.empty() && lowerCase(entry.fileName) == wanted)
        return animationBase(folder, entry.fileName);
  }
#endif
  return exact;
}

SettingsPrediction predictSettings(const std::string& folder, const std::string& textureName,
                                   const Listing& listing) {
  SettingsPrediction settings;
  settings.path = animationBase(AnimationFolder, textureName) + std::string(SettingsExtension);
  settings.readFrom = settingsFile(folder, textureName, listing);
  std::error_code ignored;
  settings.exists = fs::exists(fs::u8path(settings.readFrom), ignored);

  std::vector<ShownBox> shown;
  {
    BoxRecorder recorder(shown);
    AnimationConfig config(settings.readFrom);
    settings.background = config.background;
    settings.override = config.override;
    settings.alpha = config.alpha;
    settings.numberColorPalette = config.number_color_palette;
    settings.disposal = config.disposal;
    settings.loop = config.loop;
  }
  // The module's captions name the file as it opens it, inside its own folder.
  for (auto& box : shown)
    if (box.caption == settings.readFrom) box.caption = settings.path;
  settings.messages = std::move(shown);
  return settings;
}

// How long one loop lasts when the game draws the texture 60 times a second, by the module's own
// playback; 0 for a single frame.
std::int64_t loopMsAtSixtyDraws(FrameList& frames) {
  if (frames.frames.size() < 2) return 0;
  // One loop is as long whether or not the animation stops after some of them.
  frames.honourLoopCount = false;
  std::int64_t firstStart = -1;
  for (int draw = 0; draw < 1'000'000; ++draw) {
    const std::int64_t now = draw * 1000 / 60;
    const int shown = frames.frameDue(now);
    const bool loopStarts = shown == 0 && frames.frameStart == now;
    if (!loopStarts) continue;
    if (firstStart >= 0) return now - firstStart;
    firstStart = now;
  }
  return 0;
}

GifPrediction predictGif(const std::string& gifPath, const std::string& shownName) {
  GifPrediction gif;
  const GifInspection inspection = inspectGif(gifPath, shownName);
  gif.accepted = inspection.accepted;
  gif.refusal = inspection.refusal;
  gif.decoderMessages = inspection.decoderMessages;
  gif.version = inspection.version;
  gif.disposalByImage = inspection.disposalByImage;
  gif.decodedBytes = inspection.decodedBytes();
  gif.textureBytes = inspection.textureBytes();
  if (inspection.frames) {
    gif.width = inspection.frames->width;
    gif.height = inspection.frames->height;
    gif.delaysMs = inspection.delays;
    gif.totalMs = inspection.frames->totalDuration;
    gif.loopCount = inspection.frames->loopCount;
    gif.loopCountGiven = inspection.frames->loopCountGiven;
    gif.runsBeforeStop = inspection.frames->runsBeforeStop();
    gif.loopMsAtSixty = loopMsAtSixtyDraws(*inspection.frames);
    gif.cutShort = inspection.frames->cutShort;
  }
  return gif;
}

// How to turn a switch on: a new settings file may hold the switch alone.
std::string settingsAdvice(const SettingsPrediction& settings, const std::string& line) {
  if (settings.exists) return "add " + line + " to " + settings.path;
  return "write " + settings.path + " with the line " + line;
}

// What the file asks for that the module leaves aside.
void noteIgnored(AnimationPrediction& animation) {
  const GifPrediction& gif = animation.gif;
  if (!gif.accepted) return;
  const SettingsPrediction& settings = animation.settings;
  if (gif.loopCount != 0 && !settings.loop.value_or(false))
    animation.ignored.push_back("loop count " + std::to_string(gif.loopCount) +
                                ": the module repeats the animation for ever; to play it as browsers do, " +
                                settingsAdvice(settings, "loop=1"));
  std::vector<int> zero, disposed;
  for (std::size_t i = 0; i < gif.delaysMs.size(); ++i)
    if (gif.delaysMs[i] == 0) zero.push_back(static_cast<int>(i));
  if (!zero.empty())
    animation.ignored.push_back("delay 0 on frame(s) " + numberList(zero) +
                                ": each is shown for one game frame");
  if (gif.loopMsAtSixty > gif.totalMs + 1000 / 60)
    animation.ignored.push_back("drawn 60 times a second, one loop takes " + std::to_string(gif.loopMsAtSixty) +
                                " ms instead of " + std::to_string(gif.totalMs) +
                                " ms: a frame changes at most once per draw");
  for (std::size_t i = 0; i < gif.disposalByImage.size(); ++i)
    if (disposalRestores(gif.disposalByImage[i])) disposed.push_back(static_cast<int>(i));
  if (!disposed.empty() && !settings.disposal.value_or(false))
    animation.ignored.push_back("disposal method (restore) on frame(s) " + numberList(disposed) +
                                ": every frame is drawn over the whole previous frame, which will leave trails "
                                "in the game; " + settingsAdvice(settings, "disposal=1"));
}

// The module's log line for a file that ends before its trailer.
std::string cutShortLine(const AnimationPrediction& animation) {
  return cutShortText(animationBase(AnimationFolder, animation.textureName) + ".gif", animation.gif.delaysMs.size()) +
         " (the module logs it once; while the game runs it first waits for the rest, as for a file being written)";
}

void noteWarnings(AnimationPrediction& animation) {
  const GifPrediction& gif = animation.gif;
  if (gif.version == "87a")
    animation.warnings.push_back("a GIF87a file: the module reads only GIF89a; save it again as GIF89a");
  if (gif.accepted && gif.delaysMs.empty())
    animation.warnings.push_back("no images: the game's own texture stays (the module logs it once)");
  else if (gif.accepted && (gif.width == 0 || gif.height == 0))
    animation.warnings.push_back("a screen of " + std::to_string(gif.width) + " x " + std::to_string(gif.height) +
                                 ": nothing to show, the game's own texture stays (the module logs it once)");
  if (gif.accepted && gif.cutShort) animation.warnings.push_back(cutShortLine(animation));
  if (!isAscii(animation.textureName))
    animation.warnings.push_back(
        "a name with non-ASCII characters: it plays only on a texture whose name has these very "
        "characters, and the game's texture names are plain ASCII");
}

void predictAnimation(const std::string& folder, const ListedEntry& entry, const Listing& listing,
                      PreloadBudget& preload, FolderPrediction& prediction) {
  AnimationPrediction animation;
  animation.fileName = entry.fileName;
  animation.textureName = entry.textureName;
  animation.settings = predictSettings(folder, entry.textureName, listing);
  animation.boxesAtStart = animation.settings.messages;
  // The module's own choice of file: the checker's folder stands where the module's would.
  const std::string path = chooseAnimationFile(animationBase(folder, entry.textureName)).path;
  const std::string modulePath = animationBase(AnimationFolder, entry.textureName) + path.substr(path.size() - 4);
  animation.gif = predictGif(path, modulePath);

  AnimationDecision decision;
  {
    BoxRecorder recorder(animation.boxesAtStart);
    decision = loadAnimationFile(preload, entry.textureName, modulePath, [&](bool decodeNow) {
      // Making an animation decodes its GIF only when it is preloaded: only then can it fail.
      if (decodeNow && !animation.gif.accepted) throw std::runtime_error(animation.gif.refusal);
    });
  }
  animation.decodedAtStart = decision.decodedAtStart;
  animation.catalogued = decision.catalogued;
  // A catalogued GIF that cannot be decoded fails when its texture is first drawn, once.
  if (animation.catalogued && !animation.gif.accepted)
    animation.boxesAtFirstUse.push_back({loadFailureCaption(entry.textureName), animation.gif.refusal});
  // The card's largest texture is only asked when the textures are made: at the first draw.
  const GifPrediction& g = animation.gif;
  if (g.accepted && !g.delaysMs.empty() && g.width > 0 && g.height > 0) {
    const auto asked = deviceTextureSizeLimit();
    const TextureSizeLimit card = asked.value_or(CommonTextureSizeLimit);
    if (!Limits::fitsDevice(g.width, g.height, card.maxWidth, card.maxHeight)) {
      animation.boxesAtFirstUse.push_back(
          {loadFailureCaption(entry.textureName),
           Limits::tooLargeForDeviceText(modulePath, g.width, g.height, card.maxWidth, card.maxHeight)});
      if (!asked)
        animation.warnings.push_back("this machine's graphics card could not be asked: assumed textures of at most " +
                                     std::to_string(card.maxWidth) + " x " + std::to_string(card.maxHeight));
    }
  }
  noteIgnored(animation);
  if (animationFileKind(path) == AnimationFileKind::Png && animation.settings.exists) {
    std::vector<ShownBox> reportedAlready;
    BoxRecorder recorder(reportedAlready);
    const AnimationConfig config(animation.settings.readFrom);
    for (const std::string& line : settingsNotForPng(config, modulePath)) animation.ignored.push_back(line);
  }
  noteWarnings(animation);
  prediction.animations.push_back(std::move(animation));
}

struct SkipVerdict {
  std::string reason;
  bool mistake = false;  // most likely not what the player meant
  bool settingsInUse = false;
};

SkipVerdict judgeSkipped(const ListedEntry& entry,
                         const std::map<std::string, const AnimationPrediction*>& byName) {
  const std::string& name = entry.fileName;
  switch (entry.kind) {
    case ListedKind::Directory:
      return {"a folder: the module does not look inside folders"};
    case ListedKind::UnreadableName:
      return {"its name cannot be read as UTF-8 (" + entry.problem + ")"};
    case ListedKind::DeviceName:
      return {loggedSkipReason(entry.kind) + "; the module never opens it: rename it", true};
    case ListedKind::LongName:
      return {loggedSkipReason(entry.kind) + "; shorten it to the texture's name", true};
    default:
      break;
  }
  if (name == NamesLogFile) return {"the module's log of the texture names the game drew (names=1)"};
  if (name == PickedFolder) return {"a folder: the pictures saved in pick mode"};
  const std::string extension = lowerCase(fs::u8path(name).extension().u8string());
  const std::string stem = name.substr(0, name.size() - extension.size());
  if (extension == ".gif")
    return {"the extension must be exactly \".gif\" in lower case: rename it to " + stem + ".gif",
            true};
  if (extension == SettingsExtension) {
    for (const auto& [texture, animation] : byName)
      if (animation->settings.exists &&
          lowerCase(fs::u8path(animation->settings.readFrom).filename().u8string()) == lowerCase(name))
        return {"the settings file of " + texture + ".gif", false, true};
    return {"a settings file without its GIF: nothing reads it", true};
  }
  return {"not a .gif file"};
}

void predictSkipped(const Listing& listing, FolderPrediction& prediction) {
  std::map<std::string, const AnimationPrediction*> byName;
  for (const auto& animation : prediction.animations) byName[animation.textureName] = &animation;
  for (const ListedEntry& entry : listing) {
    if (entry.kind == ListedKind::Animation) continue;
    const SkipVerdict verdict = judgeSkipped(entry, byName);
    if (!verdict.settingsInUse) prediction.skipped.push_back({entry.fileName, verdict.reason});
    if (verdict.mistake) prediction.mistakes.push_back(entry.fileName + ": " + verdict.reason);
    if (entry.kind == ListedKind::Directory && entry.fileName != PickedFolder) {
      std::error_code error;
      for (const auto& inner : fs::directory_iterator(entry.path, error))
        if (lowerCase(inner.path().extension().u8string()) == ".gif") {
          prediction.mistakes.push_back(entry.fileName + "/ holds GIF files, which the module never sees: "
                                        "move them up into the folder itself");
          break;
        }
    }
  }
}

// Names that differ only in letter case: the game's texture names are matched exactly, and a
// Windows folder cannot even hold two such files.
void predictCaseClashes(const Listing& listing, FolderPrediction& prediction) {
  std::map<std::string, std::vector<std::string>> byLowerName;
  for (const auto& entry : listing)
    if (!entry.fileName.empty()) byLowerName[lowerCase(entry.fileName)].push_back(entry.fileName);
  for (const auto& [lower, names] : byLowerName) {
    if (names.size() < 2) continue;
    std::string list;
    for (const auto& name : names) list += (list.empty() ? "" : ", ") + name;
    prediction.mistakes.push_back(list + ": names that differ only in letter case; "
                                  "Windows cannot keep them apart");
  }
  for (const auto& animation : prediction.animations) {
    const std::string wanted = animation.textureName + std::string(SettingsExtension);
    for (const auto& entry : listing)
      if (entry.fileName != wanted && lowerCase(entry.fileName) == lowerCase(wanted))
        prediction.mistakes.push_back(entry.fileName + " is read as the settings of " + animation.fileName +
                                      " only because Windows ignores letter case; name it " + wanted);
  }
}

void predictMemory(FolderPrediction& prediction) {
  std::vector<std::uint64_t> loaded, textures;
  for (const auto& animation : prediction.animations) {
    if (!animation.catalogued || !animation.gif.accepted) continue;
    if (animation.decodedAtStart) prediction.memory.atStart += animation.gif.decodedBytes;
    loaded.push_back(animation.gif.decodedBytes + animation.gif.textureBytes);
    if (animation.plays()) textures.push_back(animation.gif.textureBytes);
  }
  // The memory pass keeps at most this many animations loaded for long.
  for (auto* sizes : {&loaded, &textures}) {
    std::sort(sizes->rbegin(), sizes->rend());
    if (sizes->size() > PreloadedAnimations) sizes->resize(PreloadedAnimations);
  }
  for (auto bytes : loaded) prediction.memory.worstCase += bytes;
  for (auto bytes : textures) prediction.memory.texturesTogether += bytes;
  if (prediction.memory.worstCase > prediction.memory.budget)
    prediction.mistakes.push_back(
        "while playing, the animations can need more than the module's budgets (" + Limits::mib(Limits::DecodedBudget) +
        " of decoded frames, " + Limits::mib(Limits::TextureBudget) +
        " of textures): some then wait for room and show the game's own textures; make them smaller, shorter or fewer");
}

}  // namespace

std::vector<ShownBox> FolderPrediction::problemsAtStart() const {
  std::vector<ShownBox> problems = moduleSettingsBoxes;
  for (const auto& animation : animations)
    problems.insert(problems.end(), animation.boxesAtStart.begin(), animation.boxesAtStart.end());
  return problems;
}

std::vector<ShownBox> FolderPrediction::boxesAtStart() const {
  std::vector<DeferredMessageBoxes::Message> problems;
  for (const auto& problem : problemsAtStart()) problems.push_back({problem.text, problem.caption, 0});
  std::vector<ShownBox> boxes = folderBoxes;
  for (const auto& shown : boxesShownAtStart(problems, ModuleLogFile))
    boxes.push_back({shown.caption, shown.text});
  return boxes;
}

std::vector<std::string> FolderPrediction::failures() const {
  std::vector<std::string> found;
  for (const auto& box : folderBoxes)
    found.push_back("message box at start: " + box.caption + ": " + box.text);
  if (!listingError.empty()) found.push_back("the folder cannot be listed: " + listingError);
  for (const auto& animation : animations) {
    for (const auto& box : animation.boxesAtStart)
      found.push_back("problem at start: " + box.caption + ": " + box.text);
    for (const auto& box : animation.boxesAtFirstUse)
      found.push_back("message box when " + animation.textureName + " is first drawn: " +
                      box.caption + ": " + box.text);
    if (animation.catalogued && animation.gif.accepted && animation.gif.cutShort)
      found.push_back("incomplete file: " + cutShortLine(animation));
  }
  if (!Limits::texturesFit(0, memory.texturesTogether))
    found.push_back("drawn at the same time, the animations' textures need " + Limits::mib(memory.texturesTogether) +
                    ", more than the module's " + Limits::mib(Limits::TextureBudget) +
                    " for textures: those past it show the game's own textures until others are out of view");
  if (memory.atStart > Limits::DecodedBudget)
    found.push_back("the animations decoded at start need more than the module's " + Limits::mib(Limits::DecodedBudget) +
                    " for decoded frames: those past it wait until first drawn, and may show the game's own textures");
  return found;
}

namespace {

// Velquor.ini lies in the game's folder, which holds the animation folder.
void predictModuleSettings(const std::string& folder, FolderPrediction& prediction) {
  const std::filesystem::path gameFolder = std::filesystem::u8path(folder).parent_path();
  const std::string path = (gameFolder / std::string(ModuleSettingsFile)).u8string();
  BoxRecorder recorder(prediction.moduleSettingsBoxes);
  const ModuleSettings settings = readModuleSettings(path);
  prediction.watch = settings.watch;
  prediction.namesLogOn = settings.names;
  for (auto& box : prediction.moduleSettingsBoxes)
    if (box.caption == path) box.caption = std::string(ModuleSettingsFile);
}

// Each GIF's texture against the names the game drew, as the module logged them.
void predictSeenNames(const std::string& folder, FolderPrediction& prediction) {
  prediction.namesLogPath = (fs::u8path(folder) / std::string(NamesLogFile)).u8string();
  std::error_code error;
  prediction.namesLogFound = fs::is_regular_file(fs::u8path(prediction.namesLogPath), error);
  if (!prediction.namesLogFound) return;
  std::vector<std::string> seen;
  for (SeenTexture& t : readNamesLog(prediction.namesLogPath)) seen.push_back(std::move(t.name));
  for (auto& animation : prediction.animations) {
    animation.textureSeen = std::find(seen.begin(), seen.end(), animation.textureName) != seen.end();
    if (animation.textureSeen) continue;
    animation.similarSeen = similarNames(animation.textureName, seen);
    std::string text = animation.fileName + ": no texture of this name was seen";
    for (std::size_t i = 0; i < animation.similarSeen.size(); ++i)
      text += (i == 0 ? "; did you mean \"" : "\" or \"") + animation.similarSeen[i];
    prediction.mistakes.push_back(text + (animation.similarSeen.empty() ? "" : "\"?"));
  }
}

}  // namespace

FolderPrediction checkFolder(const std::string& folder) {
  FolderPrediction prediction;
  prediction.folder = folder;
  predictModuleSettings(folder, prediction);
  switch (folderPlace(folder)) {
    case FolderPlace::Missing:
      prediction.state = FolderState::Missing;
      prediction.mistakes.push_back(folder + " does not exist: the module makes an empty folder and shows no animations");
      return prediction;
    case FolderPlace::Blocked:
      prediction.state = FolderState::Blocked;
      prediction.folderBoxes.push_back(
          {folderFailureCaption(AnimationFolder), blockedFolderText(AnimationFolder)});
      return prediction;
    case FolderPlace::Folder:
      break;
  }
  if (lastFolderName(folder) != AnimationFolder)
    prediction.mistakes.push_back("the module reads only the folder named " +
                                  std::string(AnimationFolder) + " in the game's folder");

  Listing listing;
  const std::error_code listingError = listAnimationFolder(
      folder, [&](const ListedEntry& entry) { listing.push_back(entry); });
  if (listingError) prediction.listingError = listingError.message();

  PreloadBudget preload;
  for (const auto& entry : listing) {
    if (entry.kind != ListedKind::Animation) continue;
    const AnimationFileChoice choice = chooseAnimationFile(animationBase(folder, entry.textureName));
    if (choice.skipped == entry.fileName)
      prediction.skipped.push_back({entry.fileName, losingFileReason(choice.path)});
    else
      predictAnimation(folder, entry, listing, preload, prediction);
  }
  predictSkipped(listing, prediction);
  predictCaseClashes(listing, prediction);
  predictMemory(prediction);
  predictSeenNames(folder, prediction);
  return prediction;
}
