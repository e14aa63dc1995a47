#include "samples/animation_encoder.h"

#include <algorithm>

namespace Samples {

namespace {

// A colour no scene produces exactly.
const Colour KeyColour = {255, 0, 254};

GifBytes flatten(const std::vector<Colour>& palette) {
  GifBytes rgb;
  for (const Colour& c : palette) rgb.insert(rgb.end(), c.begin(), c.end());
  return rgb;
}

std::vector<Colour> paletteFor(const AnimationSpec& spec, const std::vector<Picture>& pictures,
                               const std::vector<Colour>& fixed) {
  std::vector<Rgb> samples;
  std::size_t total = 0;
  for (const Picture& p : pictures) total += p.pixels.size();
  int step = int(std::max<std::size_t>(1, total / 60000));
  for (const Picture& p : pictures) samplePixels(p, step, samples);
  return medianCutPalette(samples, spec.colours, fixed);
}

struct Rect {
  int left, top, width, height;
};

// The smallest rectangle holding every pixel that differs; 1 x 1 when nothing does.
Rect changedRect(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int width, int height) {
  int x0 = width, y0 = height, x1 = -1, y1 = -1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (a[std::size_t(y) * width + x] != b[std::size_t(y) * width + x]) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
      }
  if (x1 < 0) return {0, 0, 1, 1};
  return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

}  // namespace

GifBytes encodeAnimation(const AnimationSpec& spec) {
  std::vector<Picture> pictures;
  pictures.reserve(spec.frames);
  for (int f = 0; f < spec.frames; ++f) {
    pictures.emplace_back(spec.width, spec.height);
    renderScene(spec.scene, pictures.back(), f, spec.frames);
  }

  // The scene's flat colour, if it has one, then a colour no pixel has: the transparent index of
  // images that cover only what changed (pixels changing to a colour in use must not vanish).
  std::vector<Colour> fixed;
  Rgb flat;
  if (sceneBackground(spec.scene, flat))
    fixed.push_back({std::uint8_t(flat.r), std::uint8_t(flat.g), std::uint8_t(flat.b)});
  fixed.push_back(KeyColour);
  const std::uint8_t transparentIndex = static_cast<std::uint8_t>(fixed.size() - 1);
  // The background index: the flat colour, or the unused one, or, for a sample whose settings
  // keep the background opaque, an ordinary colour of the picture.
  const std::uint8_t backgroundIndex = spec.config.empty() ? 0 : static_cast<std::uint8_t>(fixed.size());

  std::vector<Colour> global = paletteFor(spec, {pictures.front(), pictures[pictures.size() / 2]}, fixed);
  Quantizer globalQuantizer(global, int(fixed.size()));
  GifWriter gif({std::uint16_t(spec.width), std::uint16_t(spec.height), flatten(global), backgroundIndex});
  gif.loop(spec.loops);
  gif.comment("Velquor sample: " + spec.name);

  std::vector<std::uint8_t> previous;
  for (int f = 0; f < spec.frames; ++f) {
    GifImage image;
    std::vector<std::uint8_t> indices;
    if (spec.localPalettes) {
      std::vector<Colour> local = paletteFor(spec, {pictures[f]}, fixed);
      Quantizer quantizer(local, int(fixed.size()));
      indices = quantizer.quantize(pictures[f], spec.dither);
      image.localTable = flatten(local);
    } else {
      indices = globalQuantizer.quantize(pictures[f], spec.dither);
    }
    GifGraphicControl control{spec.delayPattern.empty() ? spec.delay : spec.delayPattern[f % spec.delayPattern.size()]};
    control.disposal = 1;  // leave the image in place
    Rect r{0, 0, spec.width, spec.height};
    if (spec.changedRegionOnly && f > 0) {
      r = changedRect(previous, indices, spec.width, spec.height);
      control.transparent = true;
      control.transparentIndex = transparentIndex;
    }
    image.left = std::uint16_t(r.left);
    image.top = std::uint16_t(r.top);
    image.width = std::uint16_t(r.width);
    image.height = std::uint16_t(r.height);
    image.interlaced = spec.interlaced;
    image.indices.resize(std::size_t(r.width) * r.height);
    for (int y = 0; y < r.height; ++y)
      for (int x = 0; x < r.width; ++x) {
        std::size_t at = std::size_t(r.top + y) * spec.width + r.left + x;
        bool unchanged = control.transparent && previous[at] == indices[at];
        image.indices[std::size_t(y) * r.width + x] = unchanged ? transparentIndex : indices[at];
      }
    gif.graphicControl(control).image(image);
    previous = std::move(indices);
  }
  gif.trailer();
  return gif.bytes();
}

}  // namespace Samples
