#pragma once
// The staging texture that every animation fills its frames' textures through (staging_texture.h),
// on the game's device. Its one lock that waits for the device is never taken inside a draw
// call: it is made ready from the game's main loop and right after each device reset.
#include "gif/staging_texture.h"

struct FrameStaging {
  StagingTexture* texture;  // ready now, or null
  bool tiles;               // false: the device cannot take tiles, frames are made whole
};

// From the game's main loop: makes it (handed to the render events, which release it before each
// device reset and delete it at unload) and makes it ready now if the game has a device. From
// then on it is made ready again at each pass of the main loop and after each reset, as needed.
void prepareFrameStaging();

// From a draw call. Null `texture` with `tiles` true until the next pass of the main loop makes
// it ready. Without render events nothing could release it before a reset: frames are made whole.
FrameStaging frameStaging(IDirect3DDevice9* device);
