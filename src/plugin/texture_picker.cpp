#include "plugin/texture_picker.h"

#include <d3d9.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "framework/frame_clock.h"
#include "framework/kel_render_events.h"
#include "plugin/fault_report.h"
#include "plugin/module_objects.h"
#include "plugin/module_settings.h"
#include "plugin/names_log.h"
#include "plugin/picked_file.h"
#include "plugin/png_file.h"
#include "plugin/raster_description.h"
#include "plugin/texture_format_names.h"
#include "plugin/texture_name_cache.h"
#include "plugin/texture_readback.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned NoSlot = 0xFFFFFFFFu;
constexpr int FontHeight = 18;
constexpr int Margin = 6;
constexpr D3DCOLOR PatternColours[2] = {0xFFFFFF00, 0xFF000000};  // yellow and black, 4-pixel squares
constexpr D3DCOLOR TextBackground = 0xC0000000;

IDirect3DDevice9* gameDevice() { return Host::at<IDirect3DDevice9*>(Host::Device); }

IDirect3DTexture9* makePattern(IDirect3DDevice9* device) {
  IDirect3DTexture9* texture = nullptr;
  if (FAILED(device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr))) return nullptr;
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0))) {
    for (int y = 0; y < 16; ++y) {
      auto* row = reinterpret_cast<D3DCOLOR*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch);
      for (int x = 0; x < 16; ++x) row[x] = PatternColours[((x / 4) ^ (y / 4)) & 1];
    }
    texture->UnlockRect(0);
  }
  return texture;
}

struct Vertex {
  float x, y, z, rhw;
  D3DCOLOR colour;
  float u, v;
};

// A screen rectangle: the texture's pixels one to one, or the colour alone without a texture.
void drawRectangle(IDirect3DDevice9* device, float x, float y, float w, float h, IDirect3DTexture9* texture,
                   D3DCOLOR colour) {
  device->SetTexture(0, texture);
  const DWORD source = texture ? D3DTA_TEXTURE : D3DTA_DIFFUSE;
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, source);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, source);
  const Vertex quad[4] = {{x - 0.5f, y - 0.5f, 0, 1, colour, 0, 0},
                          {x + w - 0.5f, y - 0.5f, 0, 1, colour, 1, 0},
                          {x - 0.5f, y + h - 0.5f, 0, 1, colour, 0, 1},
                          {x + w - 0.5f, y + h - 0.5f, 0, 1, colour, 1, 1}};
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
}

void setTextState(IDirect3DDevice9* device) {
  device->SetVertexShader(nullptr);
  device->SetPixelShader(nullptr);
  device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_FOGENABLE, FALSE);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
  device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
}

}  // namespace

TexturePicker::TexturePicker(std::string folder, PickKeys keys, NamesLog& namesLog)
    : folder_(std::move(folder)), keys_(keys), namesLog_(namesLog),
      proxy_(std::make_unique<std::uint8_t[]>(4096 + Host::RasterExtensionSize)) {
  if (renderEvents != nullptr) lostSlot_ = renderEvents->deviceLost.connect(this, &TexturePicker::onDeviceLost);
}

TexturePicker::~TexturePicker() {
  if (renderEvents != nullptr) {
    if (drawSlot_ != NoSlot) renderEvents->draw.disconnect(drawSlot_);
    if (lostSlot_ != NoSlot) renderEvents->deviceLost.disconnect(lostSlot_);
  }
  onDeviceLost();
  if (pattern_) pattern_->Release();
}

void TexturePicker::onUse(const RwTexture* texture, RwRaster* gameRaster, RwRaster*& raster) noexcept {
  guarded("TexturePicker::onUse", [&] {
    const std::string_view name = TextureNames::nameOf(texture);
    if (drawingSet_.insert(texture).second) drawing_.push_back({texture, std::string(name)});
    if (texture != picked_.record || name != picked_.name) return;
    const RasterDescription d = describeRaster(gameRaster);
    picked_.width = d.width;
    picked_.height = d.height;
    picked_.format = d.format;
    picked_.hasTexture = d.texture != nullptr;
    picked_.animated = raster != gameRaster;
    if (saveAsked_) {
      saveAsked_ = false;
      if (d.texture) {
        toSave_ = d.texture;
        toSave_->AddRef();
      } else {
        status_ = "cannot save " + picked_.name + ": it has no Direct3D texture";
      }
    }
    if ((FrameClock::nowMs() / BlinkMs) % 2 == 0) raster = highlight(raster);
  });
}

RwRaster* TexturePicker::highlight(RwRaster* raster) {
  const int extension = Host::at<std::int32_t>(Host::RasterExtensionOffset);
  if (!pattern_ || raster == nullptr || extension < 0 || extension > 4096) return raster;
  // Copied at each use: the game may reuse a raster's memory for another.
  std::uint8_t* proxy = proxy_.get();
  const auto* game = reinterpret_cast<const std::uint8_t*>(raster);
  std::memcpy(proxy, game, Host::RasterHeaderSize);
  std::memcpy(proxy + extension, game + extension, Host::RasterExtensionSize);
  std::memcpy(proxy + extension + Host::ExtensionTexture, &pattern_, sizeof pattern_);
  return reinterpret_cast<RwRaster*>(proxy);
}

void TexturePicker::frameEnds() {
  drawn_.swap(drawing_);
  drawing_.clear();
  drawingSet_.clear();
}

bool TexturePicker::onKey(int key) {
  if (key == keys_.toggle) {
    on = !on;
    status_.clear();
    if (on && renderEvents != nullptr && drawSlot_ == NoSlot) drawSlot_ = renderEvents->draw.connect(this, &TexturePicker::onDraw);
    if (!on) {
      // Off costs the game nothing: no draw slot, no lists.
      if (renderEvents != nullptr && drawSlot_ != NoSlot) renderEvents->draw.disconnect(drawSlot_);
      drawSlot_ = NoSlot;
      drawing_.clear();
      drawn_.clear();
      drawingSet_.clear();
      picked_ = Picked{};
      saveAsked_ = false;
      onDeviceLost();
    }
    return true;
  }
  if (!on) return false;
  if (key == keys_.next || key == keys_.previous) {
    step(key == keys_.next ? 1 : -1);
    return true;
  }
  if (key == keys_.save) {
    if (picked_.name.empty()) status_ = "pick a texture first (" + keyName(keys_.next) + ")";
    else saveAsked_ = true;
    return true;
  }
  return false;
}

void TexturePicker::step(int by) {
  status_.clear();
  if (drawn_.empty()) {
    status_ = "the game drew no texture in the last frame";
    return;
  }
  const int count = static_cast<int>(drawn_.size());
  const auto current = std::find_if(drawn_.begin(), drawn_.end(), [this](const Drawn& d) {
    return d.record == picked_.record && d.name == picked_.name;
  });
  int index = by > 0 ? 0 : count - 1;
  if (current != drawn_.end()) index = (static_cast<int>(current - drawn_.begin()) + by + count) % count;
  picked_ = Picked{};
  picked_.record = drawn_[static_cast<std::size_t>(index)].record;
  picked_.name = drawn_[static_cast<std::size_t>(index)].name;
  picked_.index = index + 1;
  picked_.count = count;
}

void TexturePicker::onDraw() {
  guarded("TexturePicker::onDraw", [this] {
    IDirect3DDevice9* device = gameDevice();
    if (!device) return;
    if (!pattern_) pattern_ = makePattern(device);
    if (toSave_) save(device);
    drawText(device);
  });
}

void TexturePicker::save(IDirect3DDevice9* device) {
  const ReadPicture picture = readTexture(device, toSave_);
  toSave_->Release();
  toSave_ = nullptr;
  if (!picture.error.empty()) {
    status_ = "cannot read " + picked_.name + ": " + picture.error;
    return;
  }
  const std::string folder = folder_ + "/" + std::string(PickedFolder);
  std::error_code error;
  fs::create_directories(fs::u8path(folder), error);
  const std::string path = pickedFileName(folder, picked_.name, [](const std::string& p) {
    std::error_code ignored;
    return fs::exists(fs::u8path(p), ignored);
  });
  const std::string written = writePngFile(path, picture.width, picture.height, picture.pixels.data());
  if (!written.empty()) {
    status_ = "cannot save " + path + ": " + written;
    return;
  }
  status_ = "saved " + path;
  namesLog_.note({picked_.name, picked_.width, picked_.height, textureFormatName(picked_.format), picked_.animated});
  namesLog_.write(FrameClock::nowMs(), true);
}

std::string TexturePicker::pickedLine() const {
  if (picked_.name.empty())
    return "pick mode: " + keyName(keys_.next) + " / " + keyName(keys_.previous) + " pick a texture drawn in the last frame";
  std::string line = std::to_string(picked_.index) + "/" + std::to_string(picked_.count) + "  " + picked_.name;
  if (picked_.width > 0)
    line += "  " + std::to_string(picked_.width) + "x" + std::to_string(picked_.height) + "  " +
            (picked_.hasTexture ? textureFormatName(picked_.format) : "no texture");
  return line + (picked_.animated ? "  animated" : "");
}

void TexturePicker::drawText(IDirect3DDevice9* device) {
  const std::string wanted[2] = {
      pickedLine(), status_.empty() ? keyName(keys_.save) + " saves it, " + keyName(keys_.toggle) + " leaves pick mode"
                                    : status_};
  for (int i = 0; i < 2; ++i) {
    if (lines_[i] && shown_[i] == wanted[i] && lines_[i]->isReady()) continue;
    lines_[i] = std::make_unique<KelTextResource>(wanted[i], FontHeight, 0xFFFFFFFF);
    shown_[i] = wanted[i];
    lines_[i]->recreate(device);
  }
  D3DVIEWPORT9 viewport;
  if (FAILED(device->GetViewport(&viewport))) return;
  unsigned width = 0, height = 0;
  for (const auto& line : lines_)
    if (line->isReady()) width = std::max(width, line->width()), height += line->height();
  if (width == 0) return;
  setTextState(device);
  const float x = static_cast<float>(viewport.X + Margin);
  float y = static_cast<float>(viewport.Y + viewport.Height) - static_cast<float>(height + 3 * Margin);
  drawRectangle(device, x, y, static_cast<float>(width + 2 * Margin), static_cast<float>(height + 2 * Margin), nullptr,
                TextBackground);
  y += Margin;
  for (const auto& line : lines_) {
    if (!line->isReady()) continue;
    drawRectangle(device, x + Margin, y, static_cast<float>(line->width()), static_cast<float>(line->height()),
                  line->texture(), 0xFFFFFFFF);
    y += static_cast<float>(line->height());
  }
}

void TexturePicker::onDeviceLost() {
  for (auto& line : lines_) line.reset();
  if (toSave_) {
    // Held across a reset, a game texture of the default pool would make the Reset fail.
    toSave_->Release();
    toSave_ = nullptr;
    status_ = "the device was reset before " + picked_.name + " could be read: save again";
  }
}
