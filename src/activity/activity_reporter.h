#pragma once

#include <QByteArray>

namespace corvane {

// The one entry for every reportable event: a slot number (a count for "SetupRun")
// and an event code word such as "Logon" or "ErrorOpen". Never fails its caller.
class ActivityReporter {
 public:
  virtual ~ActivityReporter() = default;
  virtual void LogActivity(int slot, const QByteArray& code) = 0;
};

}  // namespace corvane
