#include "plugin/frame_staging.h"

#include <memory>

#include "framework/kel_events.h"
#include "framework/kel_render_events.h"
#include "host/host.h"
#include "plugin/fault_report.h"
#include "plugin/module_objects.h"

namespace {

class StagingResource;
StagingResource* made = nullptr;

IDirect3DDevice9* gameDevice() { return Host::at<IDirect3DDevice9*>(Host::Device); }

class StagingResource : public KelDeviceResource {
 public:
  StagingResource() {
    made = this;
    if (events != nullptr) {
      loopSlot_ = events->gameLoop.connect(
          [this] { guarded("frameStaging", [this] { prepare(gameDevice()); }); });
      connected_ = true;
    }
  }
  ~StagingResource() override {
    // The events hub goes before the render events at unload, and disconnects everyone then.
    if (connected_ && events != nullptr) events->gameLoop.disconnect(loopSlot_);
    made = nullptr;
  }
  void onDeviceLost() override { staging.release(); }
  // The device has just finished everything: the waiting lock costs least now.
  void onDeviceReset(IDirect3DDevice9* device) override { prepare(device); }

  void prepare(IDirect3DDevice9* device) {
    if (device != nullptr && !staging.ready(device) && staging.usable(device)) staging.prepare(device);
  }

  StagingTexture staging;

 private:
  bool connected_ = false;
  unsigned loopSlot_ = 0;
};

}  // namespace

void prepareFrameStaging() {
  if (made == nullptr) {
    if (renderEvents == nullptr) return;
    renderEvents->addCustomResource(std::make_unique<StagingResource>());
  }
  made->prepare(gameDevice());
}

FrameStaging frameStaging(IDirect3DDevice9* device) {
  if (made == nullptr) {
    if (renderEvents == nullptr) return {nullptr, false};
    // Made here, it is ready from the next pass of the main loop.
    renderEvents->addCustomResource(std::make_unique<StagingResource>());
  }
  StagingTexture& staging = made->staging;
  return {staging.ready(device) ? &staging : nullptr, staging.usable(device)};
}
