#include "server/request_metrics.h"

#include <algorithm>

namespace corvane {
namespace {

// The bucket bounds in nanoseconds, so that sorting a request into its bucket compares
// integers.
constexpr std::array<int64_t, kLatencyBucketsSeconds.size()> BoundsNs() {
  std::array<int64_t, kLatencyBucketsSeconds.size()> bounds{};
  for (size_t i = 0; i < bounds.size(); ++i) {
    bounds[i] = static_cast<int64_t>(kLatencyBucketsSeconds[i] * 1e9 + 0.5);
  }
  return bounds;
}
constexpr auto kBoundsNs = BoundsNs();

}  // namespace

void RequestMetrics::Answered(const CommandDescriptor* command, const Replies& out,
                              Clock::time_point began) {
  ++requests_[command ? static_cast<size_t>(command->command) : kCommandCount];
  for (const ActivityEntry& event : out.events) {
    if (event.errorNumber != 0) ++errors_[event.errorNumber];
  }
  const std::optional<LogonOutcome> logon = out.LogonResult();
  if (logon && *logon != LogonOutcome::kAccepted) ++refusedLogons_;
  const int64_t ns = std::max<int64_t>(
      0, std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - began).count());
  const auto bucket = std::lower_bound(kBoundsNs.begin(), kBoundsNs.end(), ns) - kBoundsNs.begin();
  ++buckets_[static_cast<size_t>(bucket)];
  ++count_;
  sumNs_ += static_cast<uint64_t>(ns);
}

}  // namespace corvane
