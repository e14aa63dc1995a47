#pragma once
// A COM object released at the end of the scope, and how a failed call is told to the player.
#include <cstdio>
#include <string>

template <typename T>
struct Held {
  T* p = nullptr;
  Held() = default;
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  ~Held() {
    if (p) p->Release();
  }
};

// "<step> failed (0x8876086C)"
inline std::string failedStep(const char* step, long result) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (0x%08lX)", step, static_cast<unsigned long>(result));
  return text;
}
