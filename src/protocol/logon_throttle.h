#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

namespace corvane {

// Refused logons per client address, for the web and the TCP path alike. After each refusal
// the address must wait longer before its next logon is carried out (1 s, 2 s, 4 s, ... up to
// a minute); an accepted logon clears its count. Since that bounds how often an address is
// answered, every answered refusal has its own activity row; refusals that were never
// answered (the connection left while its answer was held) are counted and summed up in one
// row now and then.
class LogonThrottle {
 public:
  struct Delays {
    qint64 firstMs = kFirstDelayMs;
    qint64 longestMs = kLongestDelayMs;
  };
  // `nowMs` is the clock in milliseconds (tests pass their own).
  explicit LogonThrottle(std::function<qint64()> nowMs);
  LogonThrottle(std::function<qint64()> nowMs, Delays delays);

  // Milliseconds the address must still wait; 0 when it may try now.
  qint64 WaitMs(const QString& address) const;
  // Records a refusal.
  void Failed(const QString& address);
  // A refusal of the address was never answered: counted for the summary.
  void Unanswered(const QString& address);
  // An accepted logon ends the run; returns its refusals not shown yet (0: none).
  int Succeeded(const QString& address);
  // The refusals not shown yet of every run whose last summary (or first row) is at least
  // `everyMs` old, as (address, count); they count as shown afterwards.
  std::vector<std::pair<QString, int>> TakeSummaries(qint64 everyMs);

  static constexpr qint64 kFirstDelayMs = 1000;
  static constexpr qint64 kLongestDelayMs = 60000;

 private:
  struct Entry {
    int failures = 0;
    qint64 allowedAtMs = 0;
    int unshown = 0;
    qint64 shownAtMs = 0;
  };
  void Prune(qint64 now);

  std::function<qint64()> nowMs_;
  Delays delays_;
  QHash<QString, Entry> entries_;
};

}  // namespace corvane
