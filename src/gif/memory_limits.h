#pragma once
// What animations may take in a 32-bit game, where address space and video memory are the
// scarcest things there are: the decoded frames of all animations stay within one budget, their
// textures within another, and no texture is asked for that the device cannot make. The module
// and velquor-check both decide by these.
#include <cstdint>
#include <string>

namespace Limits {

constexpr std::uint64_t MiB = std::uint64_t{1} << 20;
// Every animation's decoded frames together (a pixel takes a byte, a frame about 800 more).
constexpr std::uint64_t DecodedBudget = 256 * MiB;
// Every animation's textures together: a pixel takes 4 bytes, and each texture about 7 KB more
// that the graphics driver keeps beside its pixels (what the game's process grew by per texture
// under Wine, with 20,000 frames of 2 x 2 as with 16,000 of 64 x 64), counted as
// TextureOverheadBytes so that many tiny frames stay within the budget too.
constexpr std::uint64_t TextureBudget = 256 * MiB;
constexpr std::uint64_t TextureOverheadBytes = 8 * 1024;

constexpr std::uint64_t textureBytes(std::uint64_t width, std::uint64_t height, std::uint64_t frames) {
  return (width * height * 4 + TextureOverheadBytes) * frames;
}

// Whether `need` more bytes of textures stay within the budget beside `inUse`.
constexpr bool texturesFit(std::uint64_t inUse, std::uint64_t need) {
  return inUse <= TextureBudget && need <= TextureBudget - inUse;
}

// Whole MiB, rounded up: what a message tells the player.
inline std::string mib(std::uint64_t bytes) { return std::to_string((bytes + MiB - 1) / MiB) + " MiB"; }

inline std::string framesOf(std::uint64_t frames, unsigned width, unsigned height) {
  return std::to_string(frames) + (frames == 1 ? " frame of " : " frames of ") +
         std::to_string(width) + " x " + std::to_string(height);
}

// A GIF whose textures alone pass the budget: it can never be shown.
inline std::string texturesTooLargeText(const std::string& file, unsigned width, unsigned height,
                                        std::uint64_t frames) {
  return file + " is too large: its " + framesOf(frames, width, height) + (frames == 1 ? " needs " : " need ") +
         mib(textureBytes(width, height, frames)) + " of textures; Velquor keeps all its textures within " +
         mib(TextureBudget) + ".";
}

// A GIF whose decoded frames alone pass the budget.
inline std::string framesTooLargeText(const std::string& file, unsigned width, unsigned height,
                                      std::uint64_t frames, std::uint64_t bytes) {
  return file + " is too large: its " + framesOf(frames, width, height) + " need " + mib(bytes) +
         " of memory decoded; Velquor keeps all decoded frames within " + mib(DecodedBudget) + ".";
}

// A screen too large to decode even one frame of.
inline std::string screenTooLargeText(const std::string& file, unsigned width, unsigned height) {
  return file + " is too large: one frame of " + std::to_string(width) + " x " + std::to_string(height) +
         " needs " + mib(textureBytes(width, height, 1)) + " of texture; Velquor keeps all its textures within " +
         mib(TextureBudget) + ".";
}

// Memory ran out while decoding.
inline std::string noMemoryText(const std::string& file, unsigned width, unsigned height,
                                std::uint64_t frames, std::uint64_t bytes) {
  return "Not enough memory for " + file + ": its " + framesOf(frames, width, height) + " need " +
         mib(bytes) + " decoded.";
}

// Frames larger than the device's largest texture: never asked of it.
inline bool fitsDevice(unsigned width, unsigned height, unsigned maxWidth, unsigned maxHeight) {
  return width <= maxWidth && height <= maxHeight;
}

inline std::string tooLargeForDeviceText(const std::string& file, unsigned width, unsigned height,
                                         unsigned maxWidth, unsigned maxHeight) {
  return file + " is too large for this graphics card: its frames are " + std::to_string(width) + " x " +
         std::to_string(height) + ", and the card makes textures of at most " + std::to_string(maxWidth) +
         " x " + std::to_string(maxHeight) + ".";
}

}  // namespace Limits
