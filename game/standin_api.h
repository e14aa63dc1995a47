#pragma once
// The stand-in game as a test driver sees it. A driver is a DLL that exports
//
//   extern "C" __declspec(dllexport) int velquorDrive(StandinGame* game, int argc, char** argv);
//
// `standin.exe --driver tests.dll [--asi m.asi ...] [-- driver args]` loads it after the .asi
// modules and calls it on the game's main thread (the thread that owns the window and runs the
// main loop); its result becomes the exit code. Nothing here links against the stand-in: every
// call goes through the virtual table, so a driver needs only this header.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct IDirect3DDevice9;

namespace Standin {

// One texture of the scene, drawn every frame as a quad in the next cell of a grid.
struct TextureSpec {
  std::string name;              // written at offset 16 of the texture record (at most 31 chars)
  int width = 64;
  int height = 64;
  std::uint32_t argb = 0xFFFFFFFF;  // solid colour of its Direct3D texture, 0xAARRGGBB
  std::uint32_t site = 0x728320;    // one of the five texture sites
  bool alpha = false;               // the raster's alpha flag (the quad is alpha-blended)
  bool palette = false;             // the raster carries a 1028-byte palette record
};

// What the game drew one texture with in one frame.
struct DrawRecord {
  int frame = 0;
  std::string texture;             // name of the texture record that went through the site
  std::uint32_t site = 0;
  std::uint32_t textureRecord = 0;
  std::uint32_t raster = 0;        // the raster the game ended up with after the site
  std::uint32_t ownRaster = 0;     // the game's own raster of that texture
  std::uint32_t d3dTexture = 0;    // the IDirect3DTexture9 read from the raster's extension
  std::uint32_t ownD3dTexture = 0; // the game's own texture of that raster
  std::uint32_t palette = 0;       // palette record pointer of the raster drawn with
  int paletteIndex = -1;           // its global palette index, -1 without palette
  bool alphaFlag = false;          // alpha byte of the raster drawn with
  bool swapped() const { return raster != ownRaster; }
};

struct MessageBoxRecord {
  int frame = 0;                   // frame during which the box was found
  std::string caption;
  std::string text;
};

struct ResetRecord {
  int frame = 0;
  long result = 0;                 // HRESULT of IDirect3DDevice9::Reset
};

struct WindowMessage {
  unsigned message = 0;
  std::uint32_t wParam = 0;
  std::int32_t lParam = 0;
};

// A run of game code bytes that differs from the pristine image.
struct ChangedBytes {
  std::uint32_t address = 0;
  std::vector<std::uint8_t> now;
  std::vector<std::uint8_t> original;
};

// The back buffer of one frame, 0xAARRGGBB per pixel (alpha forced to 0xFF).
struct Capture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Where a scene texture's quad lies in the window: the cell's centre, for pixel checks.
struct Point {
  int x = 0;
  int y = 0;
};

}  // namespace Standin

class StandinGame {
 public:
  virtual ~StandinGame() = default;

  // Frames: each runs the main-loop site once, then, once Direct3D exists, renders the scene
  // through the draw point and each texture's site. Returns the number of frames run so far.
  virtual int runFrames(int count) = 0;
  virtual int frameCount() const = 0;
  // Passes through the main-loop site (0x748DA3) so far.
  virtual unsigned loopPasses() const = 0;

  // Replaces the scene (records, rasters and textures are made anew; old ones stay allocated,
  // as a module may still hold pointers to them).
  virtual void setScene(const std::vector<Standin::TextureSpec>& textures) = 0;
  virtual std::vector<Standin::TextureSpec> scene() const = 0;
  // The game's own texture record of a scene texture (null when there is none by that name).
  virtual void* textureRecord(const std::string& name) const = 0;
  virtual Standin::Point cellCentre(const std::string& name) const = 0;

  // Loads d3d9.dll and creates the device now (no-op when it exists). False on failure.
  virtual bool loadDirect3D() = 0;
  virtual bool direct3DLoaded() const = 0;
  // The reset path: 0x7F8152, IDirect3DDevice9::Reset, then 0x4CC979 when Reset succeeded.
  // Returns Reset's HRESULT (and -1 without a device).
  virtual long resetDevice() = 0;

  // Window messages and keys, sent to the game window on the calling (main) thread.
  virtual long sendMessage(unsigned message, std::uint32_t wParam, std::int32_t lParam) = 0;
  virtual bool postMessage(unsigned message, std::uint32_t wParam, std::int32_t lParam) = 0;
  // WM_KEYDOWN / WM_KEYUP (or the SYS forms with alt) with a real scan code in lParam;
  // `extended` sets bit 24 (right Ctrl, right Alt).
  virtual void sendKey(int virtualKey, bool down, bool extended = false, bool alt = false) = 0;
  // Messages the game's own window procedure received, oldest first.
  virtual std::vector<Standin::WindowMessage> windowMessages() const = 0;
  virtual void clearWindowMessages() = 0;
  // The game's own window procedure (what GWL_WNDPROC holds when nobody subclassed it).
  virtual WNDPROC gameWindowProcedure() const = 0;

  // Runs one frame and returns its back buffer; empty capture without a device.
  virtual Standin::Capture captureFrame() = 0;
  // The same, also written as a PNG file.
  virtual bool captureFrameToPng(const std::string& path) = 0;

  // What was recorded; draws(frame) gives one frame's draws (frame -1: the last frame drawn).
  virtual std::vector<Standin::DrawRecord> draws() const = 0;
  virtual std::vector<Standin::DrawRecord> draws(int frame) const = 0;
  virtual std::vector<Standin::MessageBoxRecord> messageBoxes() const = 0;
  virtual std::vector<Standin::ResetRecord> resets() const = 0;
  // Every trace line (JSON) written so far.
  virtual std::vector<std::string> traceLines() const = 0;

  virtual HWND window() const = 0;
  virtual IDirect3DDevice9* device() const = 0;

  // Calls of a counted game routine so far: 0x541BD0 and 0x541DD0 (called on hiding the
  // cursor), and the mouse code 0x531140, 0x746ED0, 0x6194A0 (counted at their bodies).
  // 0 for any other address.
  virtual unsigned routineCalls(std::uint32_t address) const = 0;
  // How often the mouse code behind the branch at 0x53F41F ran (it is skipped while shown).
  virtual unsigned mouseUpdates() const = 0;

  // Modules, as the loader does it. loadModule returns the module handle (null on failure).
  virtual HMODULE loadModule(const std::string& path) = 0;
  virtual bool unloadModule(HMODULE module) = 0;
  // Unloads every module still loaded (last loaded first) and returns the unload report.
  virtual std::vector<Standin::ChangedBytes> unloadModules() = 0;
  // The game code bytes that differ from the pristine image right now.
  virtual std::vector<Standin::ChangedBytes> changedCode() const = 0;
  // Bytes of the pristine game image (as written at start, before any module ran).
  virtual std::vector<std::uint8_t> pristineBytes(std::uint32_t address, std::size_t count) const = 0;
};

// Available inside drivers built with velquor_game_test: the game that called velquorDrive.
StandinGame& standinGame();
