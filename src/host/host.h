#pragma once
// Everything the module knows about the game: the fixed addresses of its code and data, and the
// few RenderWare records it reads. Nothing else in the module spells a game address.
#include <cstdint>

struct RwRaster;   // the game's raster; only its header and Direct3D 9 extension are touched
struct RwTexture;  // the game's texture record; only its name is read

namespace Host {

// Code sites.
constexpr std::uint32_t MainLoopCall = 0x748DA3;      // 6 bytes, passed once per main-loop iteration
constexpr int MainLoopCallSize = 6;
constexpr std::uint32_t RasterSiteEbx = 0x7FDFDA;     // 5 bytes: raster on top of stack, texture in EBX
constexpr std::uint32_t RasterSiteEax = 0x728320;     // 5 bytes: raster on top of stack, texture in EAX
constexpr std::uint32_t RasterSiteEsi = 0x58D872;     // 5 bytes: raster on top of stack, texture in ESI
constexpr std::uint32_t RasterSiteEdx = 0x72837F;     // 6 bytes: texture in EAX, its raster in EDX
constexpr int RasterSiteEdxSize = 6;
constexpr std::uint32_t TextureToRaster = 0x728570;   // 8 bytes: texture in EAX becomes its raster in EAX
constexpr int TextureToRasterSize = 8;
constexpr std::uint32_t DrawPoint = 0x53EBF5;         // 5 bytes: drawing is allowed here
constexpr std::uint32_t BeforeDeviceReset = 0x7F8152; // 5 bytes
constexpr std::uint32_t AfterDeviceReset = 0x4CC979;  // 5 bytes

// Mouse code patched while the system cursor is shown, with the game's own bytes.
constexpr std::uint32_t MouseCall1 = 0x541DF5;        // E8 46 F3 FE FF
constexpr std::uint32_t MouseCall2 = 0x53F417;        // E8 B4 7A 20 00
constexpr std::uint32_t MouseTest = 0x53F41F;         // 85 C0 0F 8C
constexpr std::uint32_t MouseRoutine = 0x6194A0;      // E9 ...
constexpr std::uint32_t MouseCall1Target = 0x531140;  // the routines the two calls above reach
constexpr std::uint32_t MouseCall2Target = 0x746ED0;
constexpr std::uint32_t MouseResetRoutine1 = 0x541BD0; // called without arguments on hiding
constexpr std::uint32_t MouseResetRoutine2 = 0x541DD0;

// Data.
constexpr std::uint32_t RasterExtensionOffset = 0xB4E9E0;  // int32: offset of the D3D9 extension in a raster
constexpr std::uint32_t Device = 0xC97C28;                 // IDirect3DDevice9*
constexpr std::uint32_t MainWindow = 0xC97C1C;             // HWND
constexpr std::uint32_t GameKeysCurrent = 0xB73458;        // 24 x uint16
constexpr std::uint32_t GameKeysPrevious = 0xB73488;       // 24 x uint16
constexpr int GameKeyCount = 24;
constexpr std::uint32_t MouseState = 0xB73424;             // 8 bytes
constexpr int MouseStateSize = 8;

// Record layouts (RenderWare on Direct3D 9).
constexpr int TextureNameOffset = 16;
constexpr int TextureNameSize = 32;
constexpr int RasterHeaderSize = 56;
constexpr int RasterExtensionSize = 36;
constexpr int ExtensionTexture = 0;   // IDirect3DTexture9*
constexpr int ExtensionPalette = 4;   // palette record*
constexpr int ExtensionAlpha = 8;     // byte: the raster has alpha
constexpr int PaletteEntries = 256;
constexpr int PaletteRecordSize = 1028;  // 256 x 4 bytes, then the 32-bit global palette index
constexpr int PaletteIndexOffset = 1024;

template <typename T>
inline T& at(std::uint32_t address) {
  return *reinterpret_cast<T*>(static_cast<std::uintptr_t>(address));
}

}  // namespace Host
