#pragma once

#include <cstring>

namespace corvane::test {

// A test that left the import's program unset would start its own executable as the
// conversion's child, which would run the whole suite again: the test mains refuse that.
inline bool StartedAsConversionChild(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--import-access") == 0) return true;
  }
  return false;
}

}  // namespace corvane::test
