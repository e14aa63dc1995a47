#pragma once
// The game's machine code: the routines that hold the module's sites, written into the image at
// start. Pure bytes (no Windows), so the same description serves the writer, the pristine copy
// and the unload report.
#include <cstdint>
#include <vector>

namespace Standin {

// Addresses of the stand-in's own (not the module's) data inside the image.
namespace Private {
constexpr std::uint32_t ServiceThunks = 0x4D0000;  // 8 bytes each: jmp [ServiceSlots + 4 * i]
constexpr std::uint32_t ServiceSlots = 0xC98000;   // C++ entry points, filled at start
constexpr std::uint32_t Counters = 0xC98100;       // uint32 call counters of counted routines
constexpr std::uint32_t CurrentRaster = 0xC98200;  // written by the code at 0x72837F
constexpr std::uint32_t End = 0xC98300;            // the image must reach at least here
}  // namespace Private

// The C++ services the game code calls (cdecl); index into ServiceSlots.
enum class Service : int { LoopBody, RenderScene, UseRaster, BeforeReset, AfterReset, ReadMouse, Count };

// Counted routines; index into Counters.
enum class Counter : int { Mouse531140, Mouse746ED0, Mouse6194A0, Routine541BD0, Routine541DD0, MouseUpdate, Count };

struct CodePiece {
  std::uint32_t address = 0;
  std::vector<std::uint8_t> bytes;
};

// Entry points of the routines the stand-in's frame calls (all cdecl).
struct GameRoutines {
  std::uint32_t mainLoop = 0;      // void(): passes 0x748DA3
  std::uint32_t render = 0;        // void(): passes 0x53EBF5
  std::uint32_t beforeReset = 0;   // void(): passes 0x7F8152
  std::uint32_t afterReset = 0;    // void(): passes 0x4CC979
  std::uint32_t mouseRead = 0;     // void(): passes 0x541DF5
  std::uint32_t mouseCheck = 0;    // void(): passes 0x53F417 and 0x53F41F
  std::uint32_t mouseRoutine = 0;  // void(): 0x6194A0
  // void(RwTexture*): one per texture site, in the order of textureSiteAddresses().
  std::vector<std::uint32_t> useTexture;
};

struct GameCode {
  std::vector<CodePiece> pieces;  // every byte of game code, in address order
  GameRoutines routines;
};

const std::vector<std::uint32_t>& textureSiteAddresses();
GameCode buildGameCode();
std::uint32_t counterAddress(Counter counter);
std::uint32_t serviceSlotAddress(Service service);

}  // namespace Standin
