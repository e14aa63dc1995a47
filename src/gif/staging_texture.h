#pragma once
// One small dynamic texture through which frames' textures are filled, a tile at a time: the
// tile's pixels are written into it under a discarding lock, which the driver grants without
// waiting for the device, and the device copies them into the frame's render-target texture.
// Locking the frame's own texture instead makes the driver finish all the work queued before
// (under Wine tens of milliseconds for a texture of 1024 x 1024), inside the game's draw call.
// It lives in the default pool: release() it before a device reset.
struct FrameTile;
struct IDirect3DDevice9;
struct IDirect3DSurface9;
struct IDirect3DTexture9;
struct AnimationFrame;

class StagingTexture {
 public:
  StagingTexture() = default;
  ~StagingTexture() { release(); }
  StagingTexture(const StagingTexture&) = delete;
  StagingTexture& operator=(const StagingTexture&) = delete;

  // Whether tiles can go through it on `device` now.
  bool ready(IDirect3DDevice9* device) const { return surface_ && device == device_; }
  // Makes it on `device` and locks it once: the first lock of a texture waits for the device to
  // finish the work queued before, later discarding ones never do. False when it cannot be made
  // (asked again only if the device was lost) or the device cannot copy from textures.
  bool prepare(IDirect3DDevice9* device);
  // False once `device` was found unable to take tiles.
  bool usable(IDirect3DDevice9* device) const { return device != device_ || !deviceCannot_; }
  // Writes `tile` of `frame` into the staging texture and has the device copy it to the same
  // place of `target`; the error of the call that failed, 0 otherwise. Only while ready().
  long copyTile(const AnimationFrame& frame, const FrameTile& tile, bool keepBackground,
                IDirect3DSurface9* target);
  void release();

 private:
  IDirect3DDevice9* device_ = nullptr;  // not counted: the game's, and it outlives the texture
  IDirect3DTexture9* texture_ = nullptr;
  IDirect3DSurface9* surface_ = nullptr;
  bool deviceCannot_ = false;
};
