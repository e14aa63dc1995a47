#include "check/device_caps.h"

std::optional<TextureSizeLimit> deviceTextureSizeLimit() { return std::nullopt; }
