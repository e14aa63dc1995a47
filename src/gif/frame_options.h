#pragma once
// What an animation's settings ask of its frames. Each is off by default: then frames are made
// and played as they always were.
struct FrameOptions {
  bool keepBackground = false;   // the GIF's background colour stays opaque
  bool honourDisposal = false;   // each image's disposal method shapes the picture of the next
  bool honourLoopCount = false;  // the file's loop count is played, then the last frame stays
};
