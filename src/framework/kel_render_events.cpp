#include "framework/kel_render_events.h"

#include "framework/process_instance.h"
#include "host/host.h"

namespace {

IDirect3DDevice9* gameDevice() { return Host::at<IDirect3DDevice9*>(Host::Device); }

}  // namespace

KelRenderEvents::KelRenderEvents()
    : drawHook(Host::DrawPoint, ""), lostHook(Host::BeforeDeviceReset, ""), resetHook(Host::AfterDeviceReset, "") {
  drawHook.onBefore.connect(this, &KelRenderEvents::onDraw);
  drawHook.install();
  lostHook.onBefore.connect(this, &KelRenderEvents::onDeviceLost);
  lostHook.install();
  resetHook.onBefore.connect(this, &KelRenderEvents::onDeviceReset);
  resetHook.install();
}

KelRenderEvents::~KelRenderEvents() {
  textResources.clear();
  textureResources.clear();
  customResources.clear();
  // Unpatched before the signals go, so no pass of the game reaches a destroyed signal.
  resetHook.remove();
  lostHook.remove();
  drawHook.remove();
}

KelTextResource* KelRenderEvents::addTextResource(std::unique_ptr<KelTextResource> resource) {
  textResources.push_back(std::move(resource));
  return textResources.back().get();
}

KelTextureResource* KelRenderEvents::addTextureResource(std::unique_ptr<KelTextureResource> resource) {
  textureResources.push_back(std::move(resource));
  return textureResources.back().get();
}

KelDeviceResource* KelRenderEvents::addCustomResource(std::unique_ptr<KelDeviceResource> resource) {
  customResources.push_back(std::move(resource));
  return customResources.back().get();
}

void KelRenderEvents::onDraw() {
  // The state block captures the whole device: made only when a slot will run.
  if (!draw.hasConnections()) return;
  IDirect3DDevice9* device = gameDevice();
  IDirect3DStateBlock9* block = nullptr;
  if (device && FAILED(device->CreateStateBlock(D3DSBT_ALL, &block))) block = nullptr;
  draw();
  if (block) {
    block->Apply();
    block->Release();
  }
}

void KelRenderEvents::onDeviceLost() {
  for (auto& text : textResources) text->release();
  for (auto& texture : textureResources) texture->release();
  for (auto& custom : customResources) custom->onDeviceLost();
  deviceLost();
}

void KelRenderEvents::onDeviceReset() {
  IDirect3DDevice9* device = gameDevice();
  for (auto& text : textResources) text->recreate(device);
  for (auto& texture : textureResources) texture->recreate(device);
  for (auto& custom : customResources) custom->onDeviceReset(device);
  deviceReset();
}

KelRenderEvents* kelRenderEvents() { return ProcessInstance<KelRenderEvents>::get(); }

void deleteKelRenderEvents() { ProcessInstance<KelRenderEvents>::destroy(); }
