#include "samples/sample_sets.h"

namespace Samples {

namespace {

AnimationSpec animation(std::string name, int width, int height, int frames, Scene scene, int colours, Dither dither,
                        std::uint16_t delay, std::uint16_t loops = 0) {
  AnimationSpec s;
  s.name = std::move(name);
  s.width = width;
  s.height = height;
  s.frames = frames;
  s.scene = scene;
  s.colours = colours;
  s.dither = dither;
  s.delay = delay;
  s.loops = loops;
  return s;
}

}  // namespace

const std::vector<AnimationSpec>& bundledSamples() {
  static const std::vector<AnimationSpec> set = [] {
    std::vector<AnimationSpec> s;
    s.push_back(animation("fire", 128, 128, 20, Scene::Fire, 128, Dither::FloydSteinberg, 6));
    s.push_back(animation("water", 128, 128, 24, Scene::Water, 64, Dither::Ordered, 8));
    // The flat background colour is the file's background index: it turns transparent in game.
    AnimationSpec neon = animation("neon", 96, 96, 16, Scene::Neon, 32, Dither::None, 10);
    neon.delayPattern = {10, 10, 10, 10, 10, 10, 10, 50};  // a sign that rests between flickers
    s.push_back(neon);
    AnimationSpec landscape = animation("landscape", 160, 120, 24, Scene::Landscape, 96, Dither::Ordered, 8, 3);
    landscape.changedRegionOnly = true;
    s.push_back(landscape);
    // Its background index is an ordinary colour of the picture, so the settings keep it opaque.
    AnimationSpec plasma = animation("plasma", 64, 64, 30, Scene::Plasma, 64, Dither::FloydSteinberg, 5);
    plasma.config = "background=1\r\noverride=0\r\n";
    s.push_back(plasma);
    return s;
  }();
  return set;
}

const std::vector<AnimationSpec>& benchmarkSamples() {
  static const std::vector<AnimationSpec> set = [] {
    std::vector<AnimationSpec> s;
    s.push_back(animation("bench_fire_128", 128, 128, 100, Scene::Fire, 256, Dither::FloydSteinberg, 4));
    s.push_back(animation("bench_water_200", 200, 150, 60, Scene::Water, 128, Dither::Ordered, 6));
    AnimationSpec landscape = animation("bench_landscape_320", 320, 240, 48, Scene::Landscape, 200, Dither::Ordered, 8);
    landscape.changedRegionOnly = true;
    s.push_back(landscape);
    s.push_back(animation("bench_plasma_480", 480, 360, 30, Scene::Plasma, 256, Dither::FloydSteinberg, 5));
    AnimationSpec scenery = animation("bench_landscape_640", 640, 480, 24, Scene::Landscape, 256, Dither::Ordered, 10);
    scenery.changedRegionOnly = true;
    s.push_back(scenery);
    AnimationSpec interlaced = animation("bench_photo_800", 800, 600, 16, Scene::Photo, 256, Dither::FloydSteinberg, 10);
    interlaced.interlaced = true;
    s.push_back(interlaced);
    s.push_back(animation("bench_photo_1024", 1024, 768, 10, Scene::Photo, 256, Dither::FloydSteinberg, 12));
    AnimationSpec local = animation("bench_water_1024", 1024, 768, 12, Scene::Water, 128, Dither::FloydSteinberg, 8);
    local.localPalettes = true;
    s.push_back(local);
    return s;
  }();
  return set;
}

const std::vector<AnimationSpec>& appearanceSamples() {
  static const std::vector<AnimationSpec> set = {
      animation("appear_256", 256, 256, 60, Scene::Plasma, 256, Dither::FloydSteinberg, 4),
      animation("appear_1024", 1024, 1024, 30, Scene::Photo, 256, Dither::FloydSteinberg, 5),
  };
  return set;
}

}  // namespace Samples
