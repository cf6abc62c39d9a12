#include "latency_summary.h"

#include <algorithm>
#include <cmath>

namespace corvane::load {

void LatencyRecorder::Merge(const LatencyRecorder& other) {
  samples_.insert(samples_.end(), other.samples_.begin(), other.samples_.end());
  sorted_ = false;
}

int64_t LatencyRecorder::Percentile(double fraction) {
  if (samples_.empty()) return 0;
  if (!sorted_) {
    std::sort(samples_.begin(), samples_.end());
    sorted_ = true;
  }
  // Nearest rank: the smallest sample with at least `fraction` of all samples at or below it.
  const double rank = std::ceil(fraction * static_cast<double>(samples_.size()));
  const size_t index = static_cast<size_t>(std::clamp(rank, 1.0, double(samples_.size()))) - 1;
  return samples_[index];
}

int64_t LatencyRecorder::Max() { return Percentile(1.0); }

}  // namespace corvane::load
