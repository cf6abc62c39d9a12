#pragma once

#include <cstdint>

namespace corvane {

// The main window's place and size in its normal state, in twips, as User.dat keeps them.
struct WindowPlacement {
  double top = 0;
  double left = 0;
  int32_t width = 0;
  double height = 0;
  bool operator==(const WindowPlacement&) const = default;
};

}  // namespace corvane
