#pragma once

#include <QSet>
#include <QString>
#include <functional>

#include "activity/activity_reporter.h"

namespace corvane {

// Whether each server database answers, as the connections to it find out. While one is
// down every client request on it fails with its own error row; the activity list is told
// once when it stops answering and once when it answers again. Lives on the event-loop
// thread of one server instance.
class ServerDatabaseHealth {
 public:
  // `nameOf` gives the display name of a server database's connection text.
  ServerDatabaseHealth(ActivityReporter& activity, std::function<QString(const QString&)> nameOf)
      : activity_(activity), nameOf_(std::move(nameOf)) {}

  // A connection to `location` answered (`answered`) or failed with `message`.
  void Report(const QString& location, bool answered, const QString& message);
  // The last connection to `location` failed.
  bool Down(const QString& location) const { return down_.contains(location.trimmed()); }

 private:
  ActivityReporter& activity_;
  std::function<QString(const QString&)> nameOf_;
  QSet<QString> down_;  // trimmed connection texts
};

}  // namespace corvane
