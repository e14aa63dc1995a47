#pragma once
// Renders, quantizes and encodes one sample animation.
#include "gifwriter/gif_writer.h"
#include "samples/sample_sets.h"

namespace Samples {

GifBytes encodeAnimation(const AnimationSpec& spec);

}  // namespace Samples
