#pragma once
// Whether a proxy raster still stands for the game raster it was copied from. The game streams
// its world: it frees rasters and palette records and makes new ones at the same addresses, for
// another texture or with another palette record, alpha flag or size. An address says nothing
// about what lies there now; the bytes do. The proxy holds the game raster's header and
// extension as they were, but for the words the animation puts in: the Direct3D texture always,
// the palette record and the alpha flag where its settings say so. So the game raster is
// compared with the proxy itself, word by word but those, at each use: a few nanoseconds, no
// second copy to keep, and a proxy never keeps a pointer the game has freed.
#include <cstdint>

#include "host/host.h"
#include "plugin/word_difference.h"

class ProxyAgreement {
 public:
  // Whether the game raster `host` holds what `proxy` was copied from (false before the first
  // copy).
  bool matches(const std::uint8_t* host, const std::uint8_t* proxy, std::uint32_t extensionOffset) const {
    const std::uint8_t* hostExtension = host + extensionOffset;
    const std::uint8_t* proxyExtension = proxy + extensionOffset;
    using WordDifference::word;
    constexpr int After = Host::ExtensionAlpha + 4;  // the words no animation replaces
    static_assert(Host::ExtensionTexture == 0 && Host::ExtensionPalette == 4 && Host::ExtensionAlpha == 8);
    return copied_ &&
           (wordDifference<Host::RasterHeaderSize>(host, proxy) |
            ((word(hostExtension, Host::ExtensionPalette) ^ word(proxyExtension, Host::ExtensionPalette)) &
             paletteMask_) |
            ((word(hostExtension, Host::ExtensionAlpha) ^ word(proxyExtension, Host::ExtensionAlpha)) & alphaMask_) |
            wordDifference<Host::RasterExtensionSize - After>(hostExtension + After, proxyExtension + After)) == 0;
  }

  // The proxy was copied from the game raster just now, with its own palette record and alpha
  // flag or the game's.
  void copied(bool ownPalette, bool ownAlpha) {
    copied_ = true;
    paletteMask_ = ownPalette ? 0u : ~0u;
    alphaMask_ = ownAlpha ? ~0xFFu : ~0u;  // the flag is the word's first byte
  }

 private:
  bool copied_ = false;
  std::uint32_t paletteMask_ = ~0u;
  std::uint32_t alphaMask_ = ~0u;
};
