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

class StagingResource : public KelDeviceResource {
 public:
  StagingResource() {
    made = this;
    if (events != nullptr) {
      loopSlot_ = events->gameLoop.connect([this] { guarded("frameStaging", [this] { prepareIfWanted(); }); });
      connected_ = true;
    }
  }
  ~StagingResource() override {
    // The events hub goes before the render events at unload, and disconnects everyone then.
    if (connected_ && events != nullptr) events->gameLoop.disconnect(loopSlot_);
    made = nullptr;
  }
  void onDeviceLost() override { staging_.release(); }
  // Made again when a frame next needs it.
  void onDeviceReset(IDirect3DDevice9*) override {}

  FrameStaging get(IDirect3DDevice9* device) {
    if (staging_.ready(device)) return {&staging_, true};
    if (!staging_.usable(device)) return {nullptr, false};
    wanted_ = true;
    // Without a main loop to wait for, now.
    if (!connected_) prepareIfWanted();
    return {staging_.ready(device) ? &staging_ : nullptr, staging_.usable(device)};
  }

 private:
  void prepareIfWanted() {
    if (!wanted_) return;
    wanted_ = false;
    staging_.prepare(Host::at<IDirect3DDevice9*>(Host::Device));
  }

  StagingTexture staging_;
  bool wanted_ = false;
  bool connected_ = false;
  unsigned loopSlot_ = 0;
};

}  // namespace

FrameStaging frameStaging(IDirect3DDevice9* device) {
  if (made == nullptr) {
    if (renderEvents == nullptr) return {nullptr, false};
    renderEvents->addCustomResource(std::make_unique<StagingResource>());
  }
  return made->get(device);
}
