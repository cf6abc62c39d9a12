#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <array>
#include <chrono>
#include <cstdint>

#include "commands/replies.h"
#include "protocol/command_descriptor.h"

namespace corvane {

// The upper bounds, in seconds, of the request latency histogram's buckets (the last bucket,
// +Inf, is implied): from a quick "Next" to a sort of a large table.
inline constexpr std::array<double, 12> kLatencyBucketsSeconds = {
    0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.1, 0.5, 2.5, 10};

// What the server counts of its requests for monitoring: plain integers, touched only on the
// event-loop thread, where every request is answered, so counting takes no lock.
class RequestMetrics {
 public:
  using Clock = std::chrono::steady_clock;

  // A request was answered: its command word (nullptr for an unknown word or a message
  // that could not be read), what it produced (error rows, a refused logon) and when it
  // began.
  void Answered(const CommandDescriptor* command, const Replies& out, Clock::time_point began);

  // Per command, by its place in the command table; the last one counts the rest.
  const std::array<uint64_t, kCommandCount + 1>& Requests() const { return requests_; }
  // Error rows by error number.
  const QMap<int32_t, uint64_t>& Errors() const { return errors_; }
  // Refused logons: the user unknown or the password wrong, or the user already on.
  uint64_t RefusedLogons() const { return refusedLogons_; }
  // Per bucket of kLatencyBucketsSeconds, then +Inf; not cumulative.
  const std::array<uint64_t, kLatencyBucketsSeconds.size() + 1>& LatencyBuckets() const {
    return buckets_;
  }
  uint64_t LatencyCount() const { return count_; }
  double LatencySumSeconds() const { return static_cast<double>(sumNs_) / 1e9; }

  // A connection to a server database failed (by its display name).
  void CountServerDatabaseFailure(const QString& name) { ++serverFailures_[name]; }
  const QMap<QString, uint64_t>& ServerDatabaseFailures() const { return serverFailures_; }

 private:
  std::array<uint64_t, kCommandCount + 1> requests_{};
  QMap<int32_t, uint64_t> errors_;
  uint64_t refusedLogons_ = 0;
  std::array<uint64_t, kLatencyBucketsSeconds.size() + 1> buckets_{};
  uint64_t count_ = 0;
  uint64_t sumNs_ = 0;
  QMap<QString, uint64_t> serverFailures_;
};

}  // namespace corvane
