#pragma once

#include <QString>

#include "activity/activity_entry.h"

namespace corvane {

// The one entry for every reportable event, and for free-text notes (why a connection was
// cut, how web access runs). Never fails its caller.
class ActivityReporter {
 public:
  virtual ~ActivityReporter() = default;
  virtual void LogActivity(const ActivityEntry& entry) = 0;
  // The note in the "Event" column, with the user it concerns, if any.
  virtual void LogNote(const QString& text, const QString& user = {}) = 0;
};

}  // namespace corvane
