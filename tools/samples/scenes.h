#pragma once
// Animated scenes: each draws frame `frame` of `count` into a picture of any size.
#include <string>

#include "samples/picture.h"

namespace Samples {

enum class Scene {
  Fire,       // flames rising from the bottom edge
  Water,      // rippling water with caustics
  Landscape,  // still hills and sky, drifting clouds, a bouncing ball
  Plasma,     // colour plasma with orbiting balls
  Photo,      // blurred photo-like background with grain, a turning box and a ball
  Neon,       // a glowing sign over a flat background colour (meant to turn transparent)
};

void renderScene(Scene scene, Picture& picture, int frame, int count);
const char* sceneName(Scene scene);

}  // namespace Samples

namespace Samples {
// The flat colour a scene leaves where nothing is drawn (black under the flames, the dark wall
// behind the neon sign); false for scenes without one.
bool sceneBackground(Scene scene, Rgb& colour);
}  // namespace Samples
