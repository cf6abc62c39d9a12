#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane::load {

// Round-trip times of the requests of one run and the figures reported from them.
class LatencyRecorder {
 public:
  // Room for the expected number of samples, so recording never allocates in the run.
  void Reserve(size_t count) { samples_.reserve(count); }
  void Record(int64_t nanoseconds) {
    samples_.push_back(nanoseconds);
    sorted_ = false;
  }
  size_t Count() const { return samples_.size(); }
  const std::vector<int64_t>& Samples() const { return samples_; }
  void Merge(const LatencyRecorder& other);

  // The nearest-rank percentile (0 < fraction <= 1) in nanoseconds; 0 without samples.
  // Sorts the samples on first use after recording.
  int64_t Percentile(double fraction);
  int64_t Max();

 private:
  std::vector<int64_t> samples_;
  bool sorted_ = true;
};

}  // namespace corvane::load
