#pragma once

#include <QString>
#include <functional>

#include "activity/activity_reporter.h"
#include "base/shared_catalogue.h"
#include "commands/dispatcher.h"
#include "protocol/logon_throttle.h"
#include "protocol/request.h"
#include "server/client.h"
#include "transport/tcp/connection_limits.h"

namespace corvane {

// Logons over TCP and the web: a refused one makes its address wait before its next logon,
// whichever way that comes, and the activity list sums up runs of refusals. Over TCP the
// client is held meanwhile, and a refusal's answer waits too.
class LogonGate {
 public:
  // `holdEnded` runs after a hold's own work, for the client's next requests.
  LogonGate(Dispatcher& dispatcher, SharedCatalogue& catalogue, ActivityReporter& activity,
            const ConnectionLimits& limits, std::function<void(Client&)> holdEnded);

  static bool IsLogon(const Request& request);
  // Milliseconds the address must wait before its next logon; 0 when it may try now.
  qint64 WaitMs(const QString& address) const { return throttle_.WaitMs(address); }
  // Carries out a logon on the event-loop thread; its outcome counts in the address's run
  // of refusals. A client on its own socket is held until its address may try again, and
  // a refusal's answer until then; `done` runs once the logon is answered.
  void Serve(Client& client, Request request, std::function<void()> done);
  // Sums up in the activity list the runs of refusals that went on long enough.
  void LogRefusalSummaries();

 private:
  void Hold(Client& client, qint64 ms, std::function<void()> then);

  Dispatcher& dispatcher_;
  SharedCatalogue& catalogue_;
  ActivityReporter& activity_;
  int summaryEveryMs_;
  std::function<void(Client&)> holdEnded_;
  // Refused logons per address, over TCP and the web alike.
  LogonThrottle throttle_;
};

}  // namespace corvane
