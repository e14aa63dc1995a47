#include "plugin/asi_plugin.h"

#include <filesystem>
#include <string>
#include <thread>
#include <utility>

#include "framework/clock.h"
#include "framework/frame_clock.h"
#include "framework/kel_events.h"
#include "framework/kel_render_events.h"
#include "gif/decode_worker.h"
#include "gif/frame_list.h"
#include "host/host.h"
#include "plugin/animation.h"
#include "plugin/load_animations.h"
#include "plugin/fault_report.h"
#include "plugin/folder_listing.h"
#include "plugin/frame_staging.h"
#include "plugin/message_box.h"
#include "plugin/module_objects.h"
#include "plugin/module_settings.h"
#include "plugin/raster_description.h"
#include "plugin/texture_format_names.h"

namespace fs = std::filesystem;

namespace {

const RwTexture* textureIn(std::uint32_t reg) { return reinterpret_cast<const RwTexture*>(reg); }

// The share of one game frame that following the folder may take: changes are made into
// animations, and new animations swapped in, until it is spent (one of each at least); the rest
// wait for the next frames. Thousands of GIFs copied in at once would otherwise stop the game
// for seconds.
constexpr std::int64_t FolderShareOfFrameNs = 1'000'000;

}  // namespace

AsiPlugin::AsiPlugin(std::string_view folder)
    : KelDescent(nullptr),
      rasterSiteEbxHook(Host::RasterSiteEbx, ""),
      rasterSiteEdxHook(Host::RasterSiteEdx, Host::RasterSiteEdxSize, ""),
      rasterSiteEaxHook(Host::RasterSiteEax, ""),
      textureToRasterHook(Host::TextureToRaster, Host::TextureToRasterSize, ""),
      rasterSiteEsiHook(Host::RasterSiteEsi, ""),
      folderName(folder),
      namesLog(folderName + "/" + std::string(NamesLogFile)),
      picker(folderName, PickKeys{}, namesLog) {
  ensureFolder(folderName);
  // What the loader has to say is shown here, once it is done: a box owned by the game window
  // cannot be made on the loader while this thread, the window's, waits for it.
  std::vector<DeferredMessageBoxes::Message> messages;
  std::thread loader([this, &messages] {
    DeferredMessageBoxes deferred;
    // Noted before the files are read: a file that changes while they are is read again later.
    const ModuleSettings settings = readModuleSettings();
    if (settings.watch) watch = std::make_shared<WatchState>(folderName);
    recordNames = settings.names;
    picker.setKeys(settings.pickKeys);
    loadAnimations(animations, loaded, folderName);
    messages = deferred.take();
  });
  loader.join();
  for (const auto& message : messages) logMessage(message.caption, message.text);
  showMessageBoxes(boxesShownAtStart(messages, logFileName()));
  // The thread that decodes late animations, made now rather than in the draw call that needs it.
  // The watch looks at the folder on that thread too.
  if (!animations.empty() || watch) guarded("AsiPlugin: decoder", [] { decodeWorker().start(); });
  if (events != nullptr)
    keyConnection = events->keyPressed.connect([this](int key) {
      guarded("AsiPlugin: pick keys", [&] {
        if (picker.onKey(key) && events != nullptr) events->consumeMessage();
      });
    });
  // Last: a plugin whose construction failed must not be reached by the draw signal.
  if (renderEvents != nullptr) drawConnection = renderEvents->draw.connect(this, &AsiPlugin::onDraw);
}

AsiPlugin::~AsiPlugin() {
  if (drawConnection != none && renderEvents != nullptr) renderEvents->draw.disconnect(drawConnection);
  if (gameLoopConnection != none && events != nullptr) events->gameLoop.disconnect(gameLoopConnection);
  if (keyConnection != none && events != nullptr) events->keyPressed.disconnect(keyConnection);
  // No site leads here any more, then nothing of the module's stays in the device: a texture of
  // the default pool left alive would make the game's next Reset fail.
  rasterSiteEsiHook.remove();
  textureToRasterHook.remove();
  rasterSiteEaxHook.remove();
  rasterSiteEdxHook.remove();
  rasterSiteEbxHook.remove();
  if (look) look->cancel();
  for (auto& entry : replacements) entry.second.making->cancel();
  guarded("AsiPlugin: names log", [this] { namesLog.write(0, true); });
  replacements.clear();
  for (auto& entry : animations) delete entry.second;
  animations.clear();
}

void AsiPlugin::ensureFolder(const std::string& folder) {
  const FolderPlace place = folderPlace(folder);
  if (place == FolderPlace::Folder) return;
  // Something else of that name belongs to the player: it stays, and the module runs without
  // animations (the listing then finds no folder).
  if (place == FolderPlace::Blocked) {
    messageBox(blockedFolderText(folder), folderFailureCaption(folder));
    return;
  }
  std::error_code error;
  if (!fs::create_directory(fs::u8path(folder), error) && error)
    messageBox(error.message(), folderFailureCaption(folder));
}

void AsiPlugin::substitute(const RwTexture* texture, RwRaster*& raster) noexcept {
  if (texture == nullptr) return;
  RwRaster* const gameRaster = raster;
  Animation* animation = namesSeen.find(texture, [this, raster](std::string_view name) -> Animation* {
    const auto found = animations.find(name);
    Animation* value = found == animations.end() ? nullptr : found->second;
    if (recordNames) noteName(name, raster, value != nullptr);
    return value;
  });
  if (animation != nullptr) raster = animation->rasterFor(raster);
  if (picker.on) picker.onUse(texture, gameRaster, raster);
}

void AsiPlugin::onDraw() {
  guarded("AsiPlugin::onDraw", [this] {
    if (!loaded.load()) return;
    installHooks();
    if (events != nullptr) gameLoopConnection = events->gameLoop.connect(this, &AsiPlugin::trim);
    trimTimes.lastPass = trimTimes.lastEviction = FrameClock::tick();
    if (renderEvents != nullptr) renderEvents->draw.disconnect(drawConnection);
    drawConnection = none;
    loaded.exchange(false);
  });
}

void AsiPlugin::installHooks() {
  const KelHook::Stack noStack{nullptr, 0};
  // A hook that fails to install leaves its site to the game; the others go on.
  rasterSiteEbxHook.onBefore.connect_method(this, &AsiPlugin::onRasterEbx);
  rasterSiteEbxHook.install(0, 0, false, noStack);
  rasterSiteEdxHook.onBefore.connect_method(this, &AsiPlugin::onRasterEdx);
  rasterSiteEdxHook.install(0, 0, false, noStack);
  rasterSiteEaxHook.onBefore.connect_method(this, &AsiPlugin::onRasterEax);
  rasterSiteEaxHook.install(0, 0, false, noStack);
  textureToRasterHook.onBefore.connect_method(this, &AsiPlugin::onTextureToRasterBefore);
  textureToRasterHook.onAfter.connect_method(this, &AsiPlugin::onTextureToRasterAfter);
  textureToRasterHook.install(0, 0, false, noStack);
  rasterSiteEsiHook.onBefore.connect_method(this, &AsiPlugin::onRasterEsi);
  rasterSiteEsiHook.install(0, 0, false, noStack);
}

void AsiPlugin::trim() {
  guarded("AsiPlugin::trim", [this] {
    // One clock read per game frame: the textures drawn in it share the time.
    FrameClock::tick();
    showGameLoopMessageBoxes();
    followFolder();
    Trim::pass(animations, trimTimes, FrameClock::nowMs);
    namesLog.write(FrameClock::nowMs());
    if (picker.on) picker.frameEnds();
  });
}

void AsiPlugin::noteName(std::string_view name, const RwRaster* raster, bool animated) noexcept {
  guarded("AsiPlugin: names log", [&] {
    const RasterDescription d = describeRaster(raster);
    namesLog.note({std::string(name), d.width, d.height, d.texture ? textureFormatName(d.format) : "no texture", animated});
  });
}

void AsiPlugin::followFolder() {
  if (!watch) return;
  const std::int64_t start = KelClock::nowNs();
  const std::function<bool()> shareLeft = [start] { return KelClock::nowNs() - start < FolderShareOfFrameNs; };
  if (look && look->done()) {
    look.reset();
    watch->watch.lookEnded(FrameClock::nowMs());
    if (watch->watch.folderJustWentMissing()) logProblem(folderGoneText(folderName));
    for (FolderChange& change : std::exchange(watch->found, {})) pendingChanges.push_back(std::move(change));
  }
  for (bool first = true; !pendingChanges.empty() && (first || shareLeft()); first = false) {
    const FolderChange change = std::move(pendingChanges.front());
    pendingChanges.pop_front();
    applyChange(change);
  }
  if (!look && watch->watch.lookDue(FrameClock::nowMs())) {
    look = decodeWorker().request([state = watch] {
      state->found = state->watch.check();
      return std::unique_ptr<FrameList>();
    });
  }
  swapInReplacements(shareLeft);
}

// A changed GIF or settings file is made anew, as a file first drawn would be: made and decoded
// on the worker, reported at its first use if it cannot be decoded. A removed GIF leaves its
// texture to the game.
void AsiPlugin::applyChange(const FolderChange& change) {
  // A newer file wins over one still being made; one made already is dropped here, on this thread.
  const auto older = replacements.find(change.textureName);
  if (older != replacements.end()) {
    older->second.making->cancel();
    replacements.erase(older);
  }
  if (!change.gifPresent) {
    replaceInCatalogue(change.textureName, nullptr);
    return;
  }
  auto made = std::make_shared<Made>();
  auto making = decodeWorker().request([made, name = change.textureName,
                                        base = animationBase(folderName, change.textureName)] {
    // Its boxes wait for the game loop; a box owned by the game window is not made here.
    DeferredMessageBoxes deferred;
    PreloadBudget budget = PreloadBudget::spent();
    const std::string path = chooseAnimationFile(base).path;
    loadAnimationFile(budget, name, path, [&](bool decodeNow) {
      auto animation = std::make_unique<Animation>(base, path, decodeNow, false);
      animation->decodeInBackground();
      made->animation = std::move(animation);
    });
    made->messages = deferred.take();
    return std::unique_ptr<FrameList>();
  });
  replacements[change.textureName] = {std::move(making), std::move(made), FrameClock::nowMs()};
}

void AsiPlugin::swapInReplacements(const std::function<bool()>& shareLeft) {
  const std::int64_t now = FrameClock::nowMs();
  bool swapped = false;
  for (auto it = replacements.begin(); it != replacements.end() && (!swapped || shareLeft());) {
    Replacement& replacement = it->second;
    if (!replacement.making->done()) {
      ++it;
      continue;
    }
    // What making it had to say, once, as soon as it is known.
    showMessageBoxes(std::exchange(replacement.made->messages, {}));
    Animation* animation = replacement.made->animation.get();
    if (animation == nullptr) {
      it = replacements.erase(it);
      continue;
    }
    // A GIF that ends before its trailer may still be being written: the old frames stay a while.
    if (animation->decoding() ||
        (animation->cutShort() && now - replacement.madeMs < FolderWatch::IncompleteWaitMs)) {
      ++it;
      continue;
    }
    if (!swapped) prepareFrameStaging();  // made on the worker, which leaves it alone
    // Not drawn yet, and not idle either: the trim pass of this very frame would drop it.
    animation->startIdleClock(now);
    replaceInCatalogue(it->first, replacement.made->animation.release());
    it = replacements.erase(it);
    swapped = true;
  }
}

// The one place where the catalogue changes after loading; null takes the name out.
void AsiPlugin::replaceInCatalogue(const std::string& name, Animation* animation) {
  const auto found = animations.find(name);
  if (found != animations.end()) {
    delete found->second;
    animations.erase(found);
  }
  if (animation != nullptr) animations.emplace(name, animation);
  // The texture records remember what their names resolved to, the deleted animation included.
  namesSeen.clear();
}

// The callbacks: substitute never throws (an animation that fails is handled inside), so these
// stay free of handlers on the hot path.
void AsiPlugin::onRasterEbx(KelHook::CPU& cpu, RwRaster*& raster) {
  substitute(textureIn(cpu.ebx), raster);
}

void AsiPlugin::onRasterEdx(KelHook::CPU& cpu) {
  auto* raster = reinterpret_cast<RwRaster*>(cpu.edx);
  substitute(textureIn(cpu.eax), raster);
  cpu.edx = reinterpret_cast<std::uintptr_t>(raster);
}

void AsiPlugin::onRasterEax(KelHook::CPU& cpu, RwRaster*& raster) {
  substitute(textureIn(cpu.eax), raster);
}

void AsiPlugin::onTextureToRasterBefore(KelHook::CPU& cpu) { savedTexture = textureIn(cpu.eax); }

void AsiPlugin::onTextureToRasterAfter(KelHook::CPU& cpu) {
  auto* raster = reinterpret_cast<RwRaster*>(cpu.eax);
  substitute(savedTexture, raster);
  cpu.eax = reinterpret_cast<std::uintptr_t>(raster);
}

void AsiPlugin::onRasterEsi(KelHook::CPU& cpu, RwRaster*& raster) {
  substitute(textureIn(cpu.esi), raster);
}
