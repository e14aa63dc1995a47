#include "game/standin_game.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "game/picture_texture.h"
#include "host/host.h"
#include "png/png_writer.h"

namespace Standin {

namespace {

Game* activeGame = nullptr;

constexpr int CellSize = 80;
constexpr int CellMargin = 4;
constexpr int MaxQuad = 72;
constexpr std::uint32_t ClearColour = 0xFF202020;
constexpr std::uint32_t MissingColour = 0xFFFF00FF;
// What a freed raster or a released texture of the game draws as.
constexpr std::uint32_t PoisonColour = 0xFFDD00DD;
// Released game textures kept aside before they are let go for good.
constexpr std::size_t RetiredTexturesKept = 512;

// Virtual key behind each of the 24 game keys.
constexpr int GameKeyVirtualKeys[Host::GameKeyCount] = {
    VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, 'W', 'A', 'S', 'D', VK_SPACE, VK_RETURN, VK_SHIFT, VK_CONTROL,
    VK_MENU, 'F', 'E', 'Q', 'C', 'R', VK_TAB, VK_ESCAPE, '1', '2', VK_LBUTTON, VK_RBUTTON};

template <typename F>
void guarded(const char* what, F&& body) {
  // Nothing may unwind through the game code that called us.
  try {
    body();
  } catch (const std::exception& e) {
    if (activeGame) activeGame->trace().write(JsonLine("error").field("where", what).field("what", e.what()));
  } catch (...) {
    if (activeGame) activeGame->trace().write(JsonLine("error").field("where", what).field("what", "unknown"));
  }
}

#define STANDIN_SERVICE __attribute__((force_align_arg_pointer)) void __cdecl

STANDIN_SERVICE serviceLoopBody() {
  guarded("loop", [] { activeGame->loopBody(); });
}
STANDIN_SERVICE serviceRenderScene() {
  guarded("render", [] { activeGame->renderScene(); });
}
STANDIN_SERVICE serviceUseRaster(std::uint8_t* raster) {
  guarded("raster", [raster] { activeGame->useRaster(raster); });
}
STANDIN_SERVICE serviceBeforeReset() {}
STANDIN_SERVICE serviceAfterReset() {}
STANDIN_SERVICE serviceReadMouse() {
  guarded("mouse", [] { activeGame->readMouse(); });
}

const void* const services[static_cast<int>(Service::Count)] = {
    reinterpret_cast<const void*>(&serviceLoopBody),    reinterpret_cast<const void*>(&serviceRenderScene),
    reinterpret_cast<const void*>(&serviceUseRaster),   reinterpret_cast<const void*>(&serviceBeforeReset),
    reinterpret_cast<const void*>(&serviceAfterReset),  reinterpret_cast<const void*>(&serviceReadMouse)};

void callRoutine(std::uint32_t address) { reinterpret_cast<void(__cdecl*)()>(address)(); }
void callRoutine(std::uint32_t address, void* argument) {
  reinterpret_cast<void(__cdecl*)(void*)>(address)(argument);
}

std::uint32_t address(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// Wine reads a path that starts with '/' as relative to the current drive; name the Unix root.
std::string windowsPath(const std::string& path) {
  return !path.empty() && path[0] == '/' ? "Z:" + path : path;
}

bool interesting(unsigned message) {
  return message == WM_NULL || (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_SYSCOMMAND || message >= WM_USER;
}

std::string changesJson(const std::vector<ChangedBytes>& changes) {
  std::string json = "[";
  for (const ChangedBytes& c : changes) {
    if (json.size() > 1) json += ",";
    json += "{\"address\":" + jsonQuoted(hexAddress(c.address)) + ",\"now\":" + jsonQuoted(hexBytes(c.now)) +
            ",\"original\":" + jsonQuoted(hexBytes(c.original)) + "}";
  }
  return json + "]";
}

}  // namespace

Game::Game(const Scenario& scenario) : scenario_(scenario), drawing_(scenario.drawing) {
  LARGE_INTEGER frequency;
  if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) ticksPerSecond_ = frequency.QuadPart;
  if (!trace_.open(windowsPath(scenario_.traceFile)))
    throw std::runtime_error("cannot write the trace file " + scenario_.traceFile);
  activeGame = this;
  image_ = std::make_unique<GameImage>(scenario_.extensionOffset, services);
  trace_.write(JsonLine("start")
                   .field("image", hexAddress(image_->begin()) + "-" + hexAddress(image_->end()))
                   .field("extension_offset", static_cast<long long>(scenario_.extensionOffset)));
  watcher_ = std::make_unique<MessageBoxWatcher>([this](const std::string& caption, const std::string& text) {
    MessageBoxRecord box{frame_.load(), caption, text};
    {
      std::lock_guard<std::mutex> lock(boxesMutex_);
      boxes_.push_back(box);
    }
    trace_.write(JsonLine("message_box").field("frame", static_cast<long long>(box.frame)).field("caption", caption).field("text", text));
  });
  window_ = std::make_unique<GameWindow>(scenario_.width, scenario_.height,
                                         [this](const WindowMessage& m) { recordMessage(m); });
  Host::at<HWND>(Host::MainWindow) = window_->handle();
  setScene(scenario_.textures);
}

Game::~Game() {
  watcher_.reset();
  activeGame = nullptr;
}

int Game::run() {
  if (scenario_.direct3DPass == 0 && !loadDirect3D()) {
    std::fprintf(stderr, "standin: Direct3D 9 is not available\n");
    return 2;
  }
  for (const std::string& path : modulesToLoad()) loadModule(path);
  int result = 0;
  if (!scenario_.driver.empty())
    result = runDriver();
  else
    runFrames(scenario_.frames);
  unloadModules();
  trace_.write(JsonLine("end").field("frames", static_cast<long long>(frame_.load())));
  return result;
}

int Game::runDriver() {
  HMODULE driver = LoadLibraryA(windowsPath(scenario_.driver).c_str());
  if (!driver) {
    std::fprintf(stderr, "standin: cannot load driver %s (error %lu)\n", scenario_.driver.c_str(), GetLastError());
    return 2;
  }
  using Drive = int (*)(StandinGame*, int, char**);
  auto drive = reinterpret_cast<Drive>(reinterpret_cast<void*>(GetProcAddress(driver, "velquorDrive")));
  if (!drive) {
    std::fprintf(stderr, "standin: %s exports no velquorDrive\n", scenario_.driver.c_str());
    return 2;
  }
  std::vector<std::string> args = {scenario_.driver};
  args.insert(args.end(), scenario_.driverArgs.begin(), scenario_.driverArgs.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  return drive(this, static_cast<int>(args.size()), argv.data());
}

std::vector<std::string> Game::modulesToLoad() const {
  if (scenario_.noModules) return {};
  if (!scenario_.modules.empty()) return scenario_.modules;
  // Like a player's loader: every .asi next to the executable, in name order.
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string folder = exe;
  folder = folder.substr(0, folder.find_last_of("\\/") + 1);
  std::vector<std::string> found;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "*.asi").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) found.push_back(folder + entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  std::sort(found.begin(), found.end());
  return found;
}

int Game::runFrames(int count) {
  for (int i = 0; i < count; ++i) runFrame();
  return frame_.load();
}

void Game::runFrame() {
  const int frame = frame_.load();
  const ULONGLONG started = GetTickCount64();
  streamDictionaries(frame);
  sendScripted(frame);
  window_->pump();
  updateGameKeys();
  const GameRoutines& r = image_->routines();
  callRoutine(r.mouseRead);
  callRoutine(r.mouseCheck);
  callRoutine(r.mouseRoutine);

  if (!d3d_.loaded() && scenario_.direct3DPass != Never && loopPasses_ >= static_cast<unsigned>(scenario_.direct3DPass))
    loadDirect3D();
  callRoutine(r.mainLoop);

  if (d3d_.loaded()) {
    d3d_.beginFrame(ClearColour);
    sceneTiming_ = SceneTiming{};
    sceneTiming_.frame = frame;
    const std::int64_t sceneStart = ticks();
    callRoutine(r.render);
    sceneTiming_.sceneNs = nanoseconds(ticks() - sceneStart);
    timings_.push_back(sceneTiming_);
    d3d_.endFrame();
    for (const CaptureRequest& c : scenario_.captures)
      if (c.frame == frame) captureTo(c.file);
    if (captureNext_) lastCapture_ = d3d_.capture();
    d3d_.present();
  }
  captureNext_ = false;
  for (int f : scenario_.resets)
    if (f == frame) resetDevice();
  const ULONGLONG spent = GetTickCount64() - started;
  if (spent < static_cast<ULONGLONG>(scenario_.frameTimeMs)) Sleep(static_cast<DWORD>(scenario_.frameTimeMs - spent));
  frame_ = frame + 1;
}

void Game::sendScripted(int frame) {
  for (const ScriptedMessage& m : scenario_.messages) {
    if (m.frame != frame) continue;
    if (m.post)
      postMessage(m.message, m.wParam, m.lParam);
    else
      sendMessage(m.message, m.wParam, m.lParam);
  }
  for (const ScriptedKey& k : scenario_.keys) {
    if (k.frame != frame) continue;
    if (k.down) sendKey(k.virtualKey, true, k.extended, k.alt);
    if (k.up) sendKey(k.virtualKey, false, k.extended, k.alt);
  }
}

void Game::updateGameKeys() {
  auto* current = &Host::at<std::uint16_t>(Host::GameKeysCurrent);
  auto* previous = &Host::at<std::uint16_t>(Host::GameKeysPrevious);
  for (int k = 0; k < Host::GameKeyCount; ++k) {
    previous[k] = current[k];
    current[k] = window_->keyDown(GameKeyVirtualKeys[k]) ? 255 : 0;
  }
}

void Game::readMouse() {
  Host::at<std::uint32_t>(Host::MouseState) = window_->buttons();
  Host::at<std::int16_t>(Host::MouseState + 4) = window_->mouseX();
  Host::at<std::int16_t>(Host::MouseState + 6) = window_->mouseY();
}

void Game::renderScene() {
  const std::vector<std::uint32_t>& sites = textureSiteAddresses();
  for (const SceneTexture& t : scene_) {
    const size_t index = static_cast<size_t>(std::find(sites.begin(), sites.end(), t.spec.site) - sites.begin());
    current_ = &t;
    if (drawing_) siteStart_ = ticks();
    callRoutine(image_->routines().useTexture.at(index), t.record);
    current_ = nullptr;
  }
}

void Game::useRaster(std::uint8_t* raster) {
  if (!current_) return;
  const SceneTexture& t = *current_;
  ++sceneTiming_.uses;
  if (raster != t.raster) ++sceneTiming_.swapped;
  // Without drawing the sites are not timed one by one: the clock would cost more than a site.
  if (!drawing_) return;
  const double siteNs = nanoseconds(ticks() - siteStart_);
  if (siteNs > sceneTiming_.longestSiteNs) {
    sceneTiming_.longestSiteNs = siteNs;
    sceneTiming_.longestSiteTexture = static_cast<int>(&t - scene_.data());
  }
  const int extensionOffset = Host::at<std::int32_t>(Host::RasterExtensionOffset);
  // A freed raster holds the poison pattern: its pointers lead nowhere.
  const bool rasterFreed = heap_.isFreed(address(raster));
  const RasterView view = rasterFreed ? RasterView{} : readRaster(raster, extensionOffset);
  const RasterView own = readRaster(t.raster, extensionOffset);

  DrawRecord d;
  d.frame = frame_.load();
  d.texture = t.spec.name;
  d.site = t.spec.site;
  d.textureRecord = address(t.record);
  d.raster = address(raster);
  d.ownRaster = address(t.raster);
  d.d3dTexture = address(view.d3dTexture);
  d.ownD3dTexture = address(t.d3dTexture);
  d.palette = view.palette;
  d.paletteIndex = view.paletteIndex;
  d.alphaFlag = view.alpha;
  d.ownPalette = own.palette;
  d.ownAlpha = own.alpha;
  d.agrees = !rasterFreed && rasterAgrees(raster, t.raster, extensionOffset);
  d.stale = rasterFreed || stalePointer(raster, view);
  draws_.push_back(d);
  trace_.write(JsonLine("draw")
                   .field("frame", static_cast<long long>(d.frame))
                   .field("texture", d.texture)
                   .hex("site", d.site)
                   .hex("record", d.textureRecord)
                   .hex("raster", d.raster)
                   .hex("own_raster", d.ownRaster)
                   .hex("d3d_texture", d.d3dTexture)
                   .hex("own_d3d_texture", d.ownD3dTexture)
                   .field("swapped", d.swapped())
                   .field("alpha", d.alphaFlag)
                   .hex("palette", d.palette)
                   .field("palette_index", static_cast<long long>(d.paletteIndex))
                   .hex("own_palette", d.ownPalette)
                   .field("own_alpha", d.ownAlpha)
                   .field("agrees", d.agrees)
                   .field("stale", d.stale));

  const Point origin = quadOrigin(t.cell);
  d3d_.drawQuad(static_cast<IDirect3DBaseTexture9*>(view.d3dTexture), origin.x, origin.y,
                std::min(t.spec.width, MaxQuad), std::min(t.spec.height, MaxQuad), view.alpha,
                rasterFreed ? PoisonColour : MissingColour);
}

std::int64_t Game::ticks() const {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

Point Game::quadOrigin(int cell) const {
  const int columns = std::max(1, scenario_.width / CellSize);
  return {(cell % columns) * CellSize + CellMargin, (cell / columns) * CellSize + CellMargin};
}

void Game::setScene(const std::vector<TextureSpec>& textures) {
  for (const TextureSpec& spec : textures)
    if (!isTextureSite(spec.site)) throw std::invalid_argument("not a texture site: " + hexAddress(spec.site));
  freeTextures("");
  addTextures(textures, "");
  writeSceneLine("scene", "", textures);
}

bool Game::loadDictionary(const std::string& name, const std::vector<TextureSpec>& textures) {
  if (name.empty()) throw std::invalid_argument("a dictionary needs a name");
  for (const TextureSpec& spec : textures)
    if (!isTextureSite(spec.site)) throw std::invalid_argument("not a texture site: " + hexAddress(spec.site));
  for (const SceneTexture& t : scene_)
    if (t.dictionary == name) return false;
  addTextures(textures, name);
  writeSceneLine("dictionary", name, textures);
  return true;
}

bool Game::unloadDictionary(const std::string& name) {
  if (name.empty() || std::none_of(scene_.begin(), scene_.end(), [&](const SceneTexture& t) { return t.dictionary == name; }))
    return false;
  freeTextures(name);
  trace_.write(JsonLine("dictionary").field("frame", static_cast<long long>(frame_.load())).field("name", name).field("loaded", false));
  return true;
}

bool Game::isFreedMemory(std::uint32_t address) const { return heap_.isFreed(address); }

void Game::streamDictionaries(int frame) {
  for (const ScriptedStreaming& s : scenario_.streaming) {
    if (s.frame != frame) continue;
    if (s.load)
      loadDictionary(s.dictionary, scenario_.dictionaries.at(s.dictionary));
    else
      unloadDictionary(s.dictionary);
  }
}

// Each new texture takes the first cell no texture of the scene holds.
void Game::addTextures(const std::vector<TextureSpec>& textures, const std::string& dictionary) {
  std::set<int> taken;
  for (const SceneTexture& t : scene_) taken.insert(t.cell);
  int cell = 0;
  for (const TextureSpec& spec : textures) {
    while (taken.count(cell)) ++cell;
    scene_.push_back(makeSceneTexture(spec, scenario_.extensionOffset, cell++, heap_));
    scene_.back().dictionary = dictionary;
  }
  std::stable_partition(scene_.begin(), scene_.end(), [](const SceneTexture& t) { return t.dictionary.empty(); });
  makeTextures();
}

// In scene order, as the game walks its list when it unloads.
void Game::freeTextures(const std::string& dictionary) {
  std::vector<SceneTexture> kept;
  for (SceneTexture& t : scene_) {
    if (t.dictionary != dictionary) {
      kept.push_back(t);
      continue;
    }
    retireTexture(t.d3dTexture);
    freeSceneTexture(t, heap_);
  }
  scene_ = std::move(kept);
}

void Game::retireTexture(void* d3dTexture) {
  if (d3dTexture == nullptr) return;
  auto* texture = static_cast<IDirect3DTexture9*>(d3dTexture);
  d3d_.fill(texture, PoisonColour);
  retired_.push_back(texture);
  retiredAddresses_.insert(address(texture));
  if (retired_.size() <= RetiredTexturesKept) return;
  auto* oldest = static_cast<IDirect3DTexture9*>(retired_.front());
  retired_.pop_front();
  retiredAddresses_.erase(address(oldest));
  oldest->Release();
}

bool Game::stalePointer(const std::uint8_t* raster, const RasterView& view) const {
  return heap_.isFreed(address(raster)) || heap_.isFreed(view.palette) || retiredAddresses_.count(address(view.d3dTexture)) != 0;
}

void Game::writeSceneLine(const char* event, const std::string& dictionary, const std::vector<TextureSpec>& textures) {
  std::string names = "[";
  for (const TextureSpec& spec : textures) names += (names.size() > 1 ? "," : "") + jsonQuoted(spec.name);
  JsonLine line(event);
  line.field("frame", static_cast<long long>(frame_.load()));
  if (!dictionary.empty()) line.field("name", dictionary).field("loaded", true);
  trace_.write(line.raw("textures", names + "]"));
}

void Game::makeTextures() {
  for (SceneTexture& t : scene_) {
    if (t.d3dTexture || !d3d_.loaded()) continue;
    attachTexture(t, t.spec.format ? makePictureTexture(d3d_.device(), t.spec, t.palette)
                                   : d3d_.solidTexture(t.spec.width, t.spec.height, t.spec.argb),
                  scenario_.extensionOffset);
  }
}

std::vector<TextureSpec> Game::scene() const {
  std::vector<TextureSpec> specs;
  for (const SceneTexture& t : scene_) specs.push_back(t.spec);
  return specs;
}

const SceneTexture* Game::find(const std::string& name) const {
  for (const SceneTexture& t : scene_)
    if (t.spec.name == name) return &t;
  return nullptr;
}

void* Game::textureRecord(const std::string& name) const {
  const SceneTexture* t = find(name);
  return t ? t->record : nullptr;
}

Point Game::cellCentre(const std::string& name) const {
  const SceneTexture* t = find(name);
  if (!t) return {-1, -1};
  const Point origin = quadOrigin(t->cell);
  return {origin.x + std::min(t->spec.width, MaxQuad) / 2, origin.y + std::min(t->spec.height, MaxQuad) / 2};
}

bool Game::loadDirect3D() {
  if (d3d_.loaded()) return true;
  if (!d3d_.load(window_->handle(), scenario_.width, scenario_.height)) {
    trace_.write(JsonLine("d3d").field("frame", static_cast<long long>(frame_.load())).field("ok", false));
    return false;
  }
  Host::at<IDirect3DDevice9*>(Host::Device) = d3d_.device();
  makeTextures();
  trace_.write(JsonLine("d3d")
                   .field("frame", static_cast<long long>(frame_.load()))
                   .field("ok", true)
                   .hex("device", address(d3d_.device())));
  return true;
}

long Game::resetDevice() {
  if (!d3d_.loaded()) return -1;
  const GameRoutines& r = image_->routines();
  callRoutine(r.beforeReset);
  const HRESULT result = d3d_.reset();
  if (SUCCEEDED(result)) callRoutine(r.afterReset);
  resets_.push_back({frame_.load(), static_cast<long>(result)});
  trace_.write(JsonLine("reset")
                   .field("frame", static_cast<long long>(frame_.load()))
                   .field("result", static_cast<long long>(result))
                   .field("ok", SUCCEEDED(result) != 0));
  return static_cast<long>(result);
}

long Game::sendMessage(unsigned message, std::uint32_t wParam, std::int32_t lParam) {
  return static_cast<long>(SendMessageA(window_->handle(), message, wParam, lParam));
}

bool Game::postMessage(unsigned message, std::uint32_t wParam, std::int32_t lParam) {
  return PostMessageA(window_->handle(), message, wParam, lParam) != 0;
}

void Game::sendKey(int virtualKey, bool down, bool extended, bool alt) {
  // A sided key arrives as Windows sends it: the generic key code, with the sided key's scan
  // code (and the extended bit for the right Ctrl and Alt).
  int wParam = virtualKey;
  switch (virtualKey) {
    case VK_LSHIFT: case VK_RSHIFT: wParam = VK_SHIFT; break;
    case VK_LCONTROL: case VK_RCONTROL: wParam = VK_CONTROL; break;
    case VK_LMENU: case VK_RMENU: wParam = VK_MENU; break;
    default: break;
  }
  if (virtualKey == VK_RCONTROL || virtualKey == VK_RMENU) extended = true;
  const std::uint32_t scan = MapVirtualKeyA(static_cast<UINT>(virtualKey), 0) & 0xFF;
  std::uint32_t lParam = 1 | (scan << 16);
  if (extended) lParam |= 1u << 24;
  if (alt) lParam |= 1u << 29;
  if (!down || window_->keyDown(wParam)) lParam |= 1u << 30;  // the key was down before: a repeat
  if (!down) lParam |= 1u << 31;
  const unsigned message = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
  sendMessage(message, static_cast<std::uint32_t>(wParam), static_cast<std::int32_t>(lParam));
}

void Game::recordMessage(const WindowMessage& m) {
  if (!interesting(m.message)) return;
  trace_.write(JsonLine("message")
                   .field("frame", static_cast<long long>(frame_.load()))
                   .field("message", static_cast<long long>(m.message))
                   .field("wparam", static_cast<long long>(m.wParam))
                   .field("lparam", static_cast<long long>(m.lParam)));
}

Capture Game::captureFrame() {
  lastCapture_ = Capture{};
  captureNext_ = true;
  runFrames(1);
  return lastCapture_;
}

bool Game::captureFrameToPng(const std::string& path) {
  Capture c = captureFrame();
  if (c.pixels.empty()) return false;
  trace_.write(JsonLine("capture").field("frame", static_cast<long long>(frame_.load() - 1)).field("file", path));
  return VelquorPng::writePng(windowsPath(path), static_cast<std::uint32_t>(c.width), static_cast<std::uint32_t>(c.height),
                              c.pixels.data());
}

void Game::captureTo(const std::string& path) {
  Capture c = d3d_.capture();
  const bool written = !c.pixels.empty() &&
                       VelquorPng::writePng(windowsPath(path), static_cast<std::uint32_t>(c.width),
                                            static_cast<std::uint32_t>(c.height), c.pixels.data());
  trace_.write(JsonLine("capture").field("frame", static_cast<long long>(frame_.load())).field("file", path).field("ok", written));
}

std::vector<DrawRecord> Game::draws(int frame) const {
  if (frame < 0 && !draws_.empty()) frame = draws_.back().frame;
  std::vector<DrawRecord> out;
  for (const DrawRecord& d : draws_)
    if (d.frame == frame) out.push_back(d);
  return out;
}

std::vector<MessageBoxRecord> Game::messageBoxes() const {
  std::lock_guard<std::mutex> lock(boxesMutex_);
  return boxes_;
}

unsigned Game::routineCalls(std::uint32_t routine) const {
  switch (routine) {
    case Host::MouseCall1Target: return image_->counter(Counter::Mouse531140);
    case Host::MouseCall2Target: return image_->counter(Counter::Mouse746ED0);
    case 0x6194A0: return image_->counter(Counter::Mouse6194A0);
    case Host::MouseResetRoutine1: return image_->counter(Counter::Routine541BD0);
    case Host::MouseResetRoutine2: return image_->counter(Counter::Routine541DD0);
    default: return 0;
  }
}

HMODULE Game::loadModule(const std::string& path) {
  HMODULE module = LoadLibraryA(windowsPath(path).c_str());
  const DWORD error = module ? 0 : GetLastError();
  trace_.write(JsonLine("module").field("path", path).field("loaded", module != nullptr).field("error", static_cast<long long>(error)));
  if (module) modules_.push_back({path, module});
  return module;
}

bool Game::unloadModule(HMODULE module) {
  auto it = std::find_if(modules_.begin(), modules_.end(), [module](const Module& m) { return m.handle == module; });
  if (it == modules_.end()) return false;
  const std::string path = it->path;
  modules_.erase(it);
  // The module takes its own bytes out again: they must be in place, not kept aside.
  image_->suspendChanges(false);
  const bool freed = FreeLibrary(module) != 0;
  trace_.write(JsonLine("module").field("path", path).field("unloaded", freed));
  return freed;
}

std::vector<ChangedBytes> Game::unloadModules() {
  while (!modules_.empty()) unloadModule(modules_.back().handle);
  std::vector<ChangedBytes> changes = image_->changedCode();
  trace_.write(JsonLine("unload").raw("changed", changesJson(changes)));
  return changes;
}

}  // namespace Standin
