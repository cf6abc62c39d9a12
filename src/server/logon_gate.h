#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

#include "activity/activity_reporter.h"
#include "base/shared_catalogue.h"
#include "commands/dispatcher.h"
#include "commands/replies.h"
#include "protocol/logon_throttle.h"
#include "protocol/request.h"
#include "server/client.h"
#include "server/request_metrics.h"
#include "transport/tcp/connection_limits.h"

namespace corvane {

// The most a logon waits for the request that a closed connection of its user left running
// (an "Update" sent just before closing, say), so that its first read sees what that stored.
inline constexpr int kClosedSlotWaitMs = 2'000;

// Logons over TCP and the web: a refused one makes its address wait before its next logon,
// whichever way that comes, and the activity list sums up the refusals that were never
// answered. Over TCP the client is held meanwhile, and a refusal's answer waits too. A logon
// of a user whose connection just closed while a request of it still runs waits for that
// request first.
class LogonGate {
 public:
  // `clients` are the server's, for the logons waiting on a closed slot; `holdEnded` runs
  // after a hold's own work, for the client's next requests.
  LogonGate(Dispatcher& dispatcher, SharedCatalogue& catalogue, ActivityReporter& activity,
            const ConnectionLimits& limits, const ClientTable& clients, RequestMetrics& metrics,
            std::function<void(Client&)> holdEnded);

  static bool IsLogon(const Request& request);
  // Milliseconds the address must wait before its next logon; 0 when it may try now.
  qint64 WaitMs(const QString& address) const { return throttle_.WaitMs(address); }
  // Carries out a logon on the event-loop thread; its outcome counts in the address's run
  // of refusals. A client on its own socket is held until its address may try again, and
  // a refusal's answer (and row) until then; `done` runs once the logon is answered.
  void Serve(Client& client, Request request, std::function<void()> done);
  // A closed connection's slot finished its work: the logons waiting for it look again.
  void ClosedSlotSettled();
  // Sums up in the activity list the unanswered refusals of runs that went on long enough.
  void LogRefusalSummaries();

 private:
  // Holds the logon while another slot of its user closed with a request of its own still
  // to finish (see Client::MustFinish), until `deadline`: then the logon goes on, the closed
  // slot not counting as its user's other logon.
  void AwaitClosedSlot(Client& client, Request request, std::function<void()> done,
                       QDeadlineTimer deadline);
  bool ClosedSlotFinishing(const QString& user, int slot) const;
  void Carry(Client& client, const Request& request, std::function<void()> done);
  // The logon's replies, rows and notes, and the note naming the connection's address when
  // the client gave another.
  void Answer(Client& client, const Replies& out, const QString& address);
  void Hold(Client& client, qint64 ms, std::function<void()> then,
            std::function<void()> dropped = {});

  Dispatcher& dispatcher_;
  SharedCatalogue& catalogue_;
  ActivityReporter& activity_;
  int summaryEveryMs_;
  const ClientTable& clients_;
  RequestMetrics& metrics_;
  std::function<void(Client&)> holdEnded_;
  // Refused logons per address, over TCP and the web alike.
  LogonThrottle throttle_;
  // The clients (with their connection's generation) whose logon waits on a closed slot.
  std::vector<std::pair<Client*, quint64>> awaiting_;
};

}  // namespace corvane
