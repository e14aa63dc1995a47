#include "samples/scenes.h"

#include <algorithm>
#include <cmath>

namespace Samples {

namespace {

constexpr float Pi = 3.14159265f;

Rgb fireRamp(float heat) {
  heat = std::clamp(heat, 0.0f, 1.0f);
  if (heat < 0.35f) return mix({0, 0, 0}, {180, 20, 0}, heat / 0.35f);
  if (heat < 0.7f) return mix({180, 20, 0}, {255, 150, 10}, (heat - 0.35f) / 0.35f);
  return mix({255, 150, 10}, {255, 255, 210}, (heat - 0.7f) / 0.3f);
}

void fire(Picture& p, float t, int frame) {
  float scale = 6.0f / p.width;
  for (int y = 0; y < p.height; ++y) {
    float rise = float(y) / p.height;  // 0 at the top, 1 at the bottom
    for (int x = 0; x < p.width; ++x) {
      float n = fractalNoise(x * scale, y * scale + frame * 0.35f, t * 3, 4);
      float heat = rise * 1.25f - 0.35f + n * 0.8f;
      p.at(x, y) = fireRamp(heat);
    }
  }
}

void water(Picture& p, float t) {
  float scale = 5.0f / p.width;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      float depth = float(y) / p.height;
      float waves = std::sin(x * 0.09f + t * 2 * Pi + std::sin(y * 0.05f)) + std::sin(y * 0.07f - t * 2 * Pi);
      float n = fractalNoise(x * scale + waves * 0.3f, y * scale, t * 2, 3);
      float caustic = std::pow(std::max(0.0f, 1 - std::fabs(n * 3.0f)), 4.0f);
      Rgb base = mix({20, 110, 170}, {5, 30, 80}, depth);
      p.at(x, y) = mix(base, {200, 240, 255}, caustic * 0.7f);
    }
  }
}

void landscape(Picture& p, float t, int frame) {
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      float fx = float(x) / p.width, fy = float(y) / p.height;
      float ridge = 0.55f + 0.12f * fractalNoise(fx * 3, 0.5f, 0, 4);
      Rgb c;
      if (fy > ridge) {
        float texture = fractalNoise(fx * 40, fy * 40, 0, 3);
        c = mix({70, 120, 40}, {30, 60, 25}, (fy - ridge) * 2 + texture * 0.3f);
      } else {
        c = mix({90, 150, 230}, {200, 220, 245}, fy / ridge);
        // Clouds drift only in the upper band, so the lower part stays still from frame to frame.
        if (fy < 0.3f) {
          float cloud = smoothstep(0.05f, 0.35f, fractalNoise(fx * 4 - t * 1.5f, fy * 6, 0, 4));
          c = mix(c, {250, 250, 250}, cloud * smoothstep(0.3f, 0.2f, fy));
        }
      }
      p.at(x, y) = c;
    }
  }
  float bounce = std::fabs(std::sin(t * 4 * Pi));
  float r = p.height * 0.06f;
  drawBall(p, p.width * (0.15f + 0.7f * t), p.height * 0.9f - r - bounce * p.height * 0.25f, r, {220, 40, 40});
}

void plasma(Picture& p, float t) {
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      float fx = float(x) / p.width * 6, fy = float(y) / p.height * 6, ph = t * 2 * Pi;
      float v = std::sin(fx + ph) + std::sin(fy * 1.3f - ph) + std::sin((fx + fy) * 0.7f + ph * 2) +
                std::sin(std::sqrt(fx * fx + fy * fy) * 1.5f - ph);
      v += fractalNoise(fx, fy, t * 4, 2);
      p.at(x, y) = {128 + 120 * std::sin(v * Pi * 0.5f), 128 + 120 * std::sin(v * Pi * 0.5f + 2.1f),
                    128 + 120 * std::sin(v * Pi * 0.5f + 4.2f)};
    }
  }
  for (int i = 0; i < 3; ++i) {
    float a = t * 2 * Pi + i * 2.1f;
    drawBall(p, p.width * (0.5f + 0.3f * std::cos(a)), p.height * (0.5f + 0.3f * std::sin(a)),
             std::min(p.width, p.height) * 0.08f, {float(60 + 80 * i), 200, float(220 - 70 * i)});
  }
}

void photo(Picture& p, float t, int frame) {
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      float fx = float(x) / p.width, fy = float(y) / p.height;
      float n = fractalNoise(fx * 3 + t * 0.3f, fy * 3, 0.5f, 5);
      Rgb c = mix(mix({240, 190, 140}, {60, 80, 120}, fy), {120, 150, 90}, smoothstep(-0.2f, 0.3f, n));
      float g = grain(x, y, 11) * 10;
      p.at(x, y) = {c.r + g, c.g + g, c.b + g};
    }
  }
  float m = std::min(p.width, p.height);
  drawRotatedBox(p, p.width * 0.35f, p.height * 0.5f, m * 0.16f, m * 0.1f, t * 2 * Pi, {230, 200, 60});
  drawBall(p, p.width * (0.3f + 0.4f * t), p.height * (0.3f + 0.2f * std::sin(t * 2 * Pi)), m * 0.1f, {60, 90, 220});
}

const Rgb NeonWall{16, 8, 24};

void neon(Picture& p, float t) {
  const Rgb background = NeonWall;
  float glow = 0.6f + 0.4f * std::sin(t * 2 * Pi * 2);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      float fx = float(x) / p.width - 0.5f, fy = float(y) / p.height - 0.5f;
      float ring = std::fabs(std::sqrt(fx * fx + fy * fy) - 0.32f);
      float bar = std::max(std::fabs(fx) - 0.2f, std::fabs(fy + 0.02f * std::sin(t * 2 * Pi)) - 0.02f);
      float d = std::min(ring, std::max(bar, 0.0f));
      float light = glow * smoothstep(0.08f, 0.0f, d);
      // Far from the tubes the background stays exactly its colour.
      p.at(x, y) = light < 0.04f ? background : mix(background, {255, 60, 200}, light);
      if (d < 0.012f) p.at(x, y) = mix({255, 200, 240}, {255, 255, 255}, glow);
    }
  }
}

}  // namespace

void renderScene(Scene scene, Picture& picture, int frame, int count) {
  float t = count > 0 ? float(frame) / count : 0;
  switch (scene) {
    case Scene::Fire: fire(picture, t, frame); break;
    case Scene::Water: water(picture, t); break;
    case Scene::Landscape: landscape(picture, t, frame); break;
    case Scene::Plasma: plasma(picture, t); break;
    case Scene::Photo: photo(picture, t, frame); break;
    case Scene::Neon: neon(picture, t); break;
  }
}

bool sceneBackground(Scene scene, Rgb& colour) {
  if (scene == Scene::Fire) colour = {0, 0, 0};
  else if (scene == Scene::Neon) colour = NeonWall;
  else return false;
  return true;
}

const char* sceneName(Scene scene) {
  switch (scene) {
    case Scene::Fire: return "fire";
    case Scene::Water: return "water";
    case Scene::Landscape: return "landscape";
    case Scene::Plasma: return "plasma";
    case Scene::Photo: return "photo";
    case Scene::Neon: return "neon";
  }
  return "?";
}

}  // namespace Samples
