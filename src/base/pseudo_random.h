#pragma once

#include <random>

namespace corvane {

// The server's shared pseudo-random generator. It is deliberately never seeded from
// the clock: every run draws the same sequence, as the session keys and frame trailers
// have always done. One instance belongs to one server.
class PseudoRandom {
 public:
  // A uniform number in [0, 1).
  double Next() { return distribution_(engine_); }

 private:
  std::mt19937 engine_;
  std::uniform_real_distribution<double> distribution_{0.0, 1.0};
};

}  // namespace corvane
