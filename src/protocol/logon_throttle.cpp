#include "protocol/logon_throttle.h"

#include <algorithm>

namespace corvane {
namespace {

// An address quiet this long after its wait ended is forgotten: its next refusal starts a
// new run with the shortest delay. The table is pruned of such addresses once it grows.
constexpr qint64 kForgetAfterMs = 10 * 60 * 1000;
constexpr qsizetype kPruneFrom = 1000;
constexpr int kMostCountedFailures = 30;

}  // namespace

LogonThrottle::LogonThrottle(std::function<qint64()> nowMs)
    : LogonThrottle(std::move(nowMs), Delays{}) {}

LogonThrottle::LogonThrottle(std::function<qint64()> nowMs, Delays delays)
    : nowMs_(std::move(nowMs)), delays_(delays) {}

qint64 LogonThrottle::WaitMs(const QString& address) const {
  const auto it = entries_.constFind(address);
  if (it == entries_.constEnd()) return 0;
  return std::max<qint64>(0, it->allowedAtMs - nowMs_());
}

void LogonThrottle::Failed(const QString& address) {
  const qint64 now = nowMs_();
  Prune(now);
  Entry& entry = entries_[address];
  // After a quiet spell a new run starts; refusals not summed up yet stay counted.
  if (entry.failures > 0 && entry.allowedAtMs + kForgetAfterMs < now) entry.failures = 0;
  if (entry.failures == 0) entry.shownAtMs = now;
  entry.failures = std::min(entry.failures + 1, kMostCountedFailures);
  qint64 delay = delays_.firstMs;
  for (int i = 1; i < entry.failures && delay < delays_.longestMs; ++i) delay *= 2;
  entry.allowedAtMs = now + std::min(delay, delays_.longestMs);
}

void LogonThrottle::Unanswered(const QString& address) {
  // Counted even when an accepted logon ended the run meanwhile: the next summary names it.
  ++entries_[address].unshown;
}

int LogonThrottle::Succeeded(const QString& address) {
  const auto it = entries_.constFind(address);
  if (it == entries_.constEnd()) return 0;
  const int unshown = it->unshown;
  entries_.erase(it);
  return unshown;
}

std::vector<std::pair<QString, int>> LogonThrottle::TakeSummaries(qint64 everyMs) {
  const qint64 now = nowMs_();
  std::vector<std::pair<QString, int>> summaries;
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->unshown == 0 || now - it->shownAtMs < everyMs) continue;
    summaries.emplace_back(it.key(), it->unshown);
    it->unshown = 0;
    it->shownAtMs = now;
  }
  return summaries;
}

void LogonThrottle::Prune(qint64 now) {
  if (entries_.size() < kPruneFrom) return;
  entries_.removeIf([now](const auto& it) {
    return it.value().unshown == 0 && it.value().allowedAtMs + kForgetAfterMs < now;
  });
}

}  // namespace corvane
