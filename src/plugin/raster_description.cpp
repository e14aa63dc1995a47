#include "plugin/raster_description.h"

#include <d3d9.h>

#include <cstring>

#include "host/host.h"

RasterDescription describeRaster(const RwRaster* raster) {
  RasterDescription d;
  if (raster == nullptr) return d;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(raster);
  std::memcpy(&d.width, bytes + 12, sizeof d.width);
  std::memcpy(&d.height, bytes + 16, sizeof d.height);
  const std::uint8_t* extension = bytes + Host::at<std::int32_t>(Host::RasterExtensionOffset);
  std::memcpy(&d.texture, extension + Host::ExtensionTexture, sizeof d.texture);
  std::memcpy(&d.palette, extension + Host::ExtensionPalette, sizeof d.palette);
  D3DSURFACE_DESC desc;
  if (d.texture != nullptr && SUCCEEDED(d.texture->GetLevelDesc(0, &desc))) d.format = static_cast<std::uint32_t>(desc.Format);
  return d;
}
