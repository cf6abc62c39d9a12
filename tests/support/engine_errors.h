#pragma once

#include <cstdint>
#include <functional>

#include "engine/engine_error.h"

namespace corvane::test {

// The number of the engine error that `action` raises; 0 when it raises none.
inline int32_t ErrorNumber(const std::function<void()>& action) {
  try {
    action();
  } catch (const EngineError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace corvane::test
