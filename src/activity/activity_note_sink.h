#pragma once

#include <QString>

namespace corvane {

// A free-text row in the activity list, for what the event codes do not cover (for example
// why a connection was cut). Never fails its caller.
class ActivityNoteSink {
 public:
  virtual ~ActivityNoteSink() = default;
  // `slot` names the slot concerned, or -1 for none.
  virtual void LogNote(int slot, const QString& text) = 0;
};

}  // namespace corvane
