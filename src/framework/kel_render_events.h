#pragma once
// The game's Direct3D 9 rendering as signals: a draw point inside the frame (with the device's
// state saved and put back around the slots), and the points before and after a device reset.
// Registered device resources are released and made again before the plug-in is told.
#include <deque>
#include <memory>

#include "framework/kel_render_resources.h"
#include "framework/kel_signal.h"
#include "hook/fast_hook.h"

class KelRenderEvents {
 public:
  KelRenderEvents();
  virtual ~KelRenderEvents();
  KelRenderEvents(const KelRenderEvents&) = delete;
  KelRenderEvents& operator=(const KelRenderEvents&) = delete;

  // The registries own what they are given and delete it with this object.
  KelTextResource* addTextResource(std::unique_ptr<KelTextResource> resource);
  KelTextureResource* addTextureResource(std::unique_ptr<KelTextureResource> resource);
  KelDeviceResource* addCustomResource(std::unique_ptr<KelDeviceResource> resource);

  // Hook callbacks, run before the game's code at the draw point and the two reset points.
  void onDraw();
  void onDeviceLost();
  void onDeviceReset();

 private:
  KelHook::Fast::Hook drawHook;
  KelHook::Fast::Hook lostHook;
  KelHook::Fast::Hook resetHook;
  std::deque<std::unique_ptr<KelTextResource>> textResources;
  std::deque<std::unique_ptr<KelTextureResource>> textureResources;
  std::deque<std::unique_ptr<KelDeviceResource>> customResources;

 public:
  KelSignal<> draw;
  KelSignal<> deviceLost;
  KelSignal<> deviceReset;
};

// The process's render device events, created on first call.
KelRenderEvents* kelRenderEvents();
// Deletes them (the three patches are removed) and clears the pointer.
void deleteKelRenderEvents();
