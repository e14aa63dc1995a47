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

#include "game/standin_types.h"

struct IDirect3DDevice9;

class StandinGame {
 public:
  virtual ~StandinGame() = default;

  // Frames: each runs the main-loop site once, then, once Direct3D exists, renders the scene
  // through the draw point and each texture's site. Returns the number of frames run so far.
  virtual int runFrames(int count) = 0;
  virtual int frameCount() const = 0;
  // Passes through the main-loop site (0x748DA3) so far.
  virtual unsigned loopPasses() const = 0;

  // Replaces the scene's own textures (not the loaded dictionaries'): the old records, rasters and
  // palette records are freed and their Direct3D textures released, as the game frees them, and
  // the new ones are made from the free lists, so they take the freed addresses (last freed
  // first). Freed memory holds the poison pattern until it is reused.
  virtual void setScene(const std::vector<Standin::TextureSpec>& textures) = 0;
  virtual std::vector<Standin::TextureSpec> scene() const = 0;
  // Texture dictionaries, as the game streams its world: loading one adds its textures to the
  // scene (after the others, each in the first free cell), with records from the free lists;
  // unloading frees them as setScene frees the old scene. False when a dictionary of that name is
  // loaded already (load) or is not loaded (unload).
  virtual bool loadDictionary(const std::string& name, const std::vector<Standin::TextureSpec>& textures) = 0;
  virtual bool unloadDictionary(const std::string& name) = 0;
  // Whether the address lies in a record, raster or palette record the game has freed and not
  // made again.
  virtual bool isFreedMemory(std::uint32_t address) const = 0;
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
  // WM_KEYDOWN / WM_KEYUP (or the SYS forms with alt) with the key's scan code in lParam, the
  // repeat bit set when the key is already down; `extended` sets bit 24. VK_LSHIFT..VK_RMENU are
  // sent as Windows does: wParam VK_SHIFT / VK_CONTROL / VK_MENU with the sided key's scan code
  // (and bit 24 for the right Ctrl and Alt).
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

  // Benchmarks. Without drawing, the scene routine still calls every texture's site but draws
  // nothing and records no draws: what remains is what a module touches.
  virtual void setDrawing(bool drawing) = 0;
  // One entry per frame whose scene was rendered (drawing or not), oldest first.
  virtual std::vector<Standin::SceneTiming> sceneTimings() const = 0;
  // True puts the pristine bytes back wherever the game code differs from them and keeps the
  // modules' bytes aside; false writes those bytes again. The modules are not told: a benchmark
  // switches between the game with and without them from one frame to the next.
  virtual void suspendModuleCode(bool suspended) = 0;
};

// Available inside drivers built with velquor_game_test: the game that called velquorDrive.
StandinGame& standinGame();
