#pragma once
// The staging texture that every animation fills its frames' textures through (staging_texture.h),
// on the game's device.
#include "gif/staging_texture.h"

struct FrameStaging {
  StagingTexture* texture;  // ready now, or null
  bool tiles;               // false: the device cannot take tiles, frames are made whole
};

// Made at the first call and handed to the render events, which release it before each device
// reset and delete it at unload. Its one lock that waits for the device is taken at the next pass
// of the game's main loop, not inside a draw call: until then `texture` is null. Without render
// events nothing could release it before a reset: frames are made whole then.
FrameStaging frameStaging(IDirect3DDevice9* device);
