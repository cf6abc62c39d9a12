#include "server/logon_gate.h"

#include <QDateTime>
#include <optional>
#include <utility>
#include <vector>

#include "protocol/command_descriptor.h"

namespace corvane {

LogonGate::LogonGate(Dispatcher& dispatcher, SharedCatalogue& catalogue, ActivityReporter& activity,
                     const ConnectionLimits& limits, std::function<void(Client&)> holdEnded)
    : dispatcher_(dispatcher),
      catalogue_(catalogue),
      activity_(activity),
      summaryEveryMs_(limits.logonSummaryEveryMs),
      holdEnded_(std::move(holdEnded)),
      throttle_([] { return QDateTime::currentMSecsSinceEpoch(); },
                {limits.firstLogonDelayMs, limits.longestLogonDelayMs}) {}

bool LogonGate::IsLogon(const Request& request) {
  return request.command && request.command->Is(Command::kLogon);
}

void LogonGate::Serve(Client& client, Request request, std::function<void()> done) {
  const QString address = client.transport().PeerAddress();
  // The slot's own socket holds a logon back until its address may try again, and a
  // refusal's answer until then; the web access answers "try later" before it asks.
  const bool holdsBack = client.OnSocket();
  if (const qint64 wait = throttle_.WaitMs(address); holdsBack && wait > 0) {
    Hold(client, wait,
         [this, &client, request = std::move(request), done = std::move(done)]() mutable {
           Serve(client, std::move(request), std::move(done));
         });
    return;
  }
  Replies out = dispatcher_.Execute(client.Live(), request, catalogue_.Current());
  const std::optional<LogonOutcome> outcome = out.LogonResult();
  const bool refused = outcome == LogonOutcome::kUserDenied || outcome == LogonOutcome::kPassDenied;
  if (refused && !throttle_.Failed(address)) {
    // Not the first refusal of its address's run: counted for the summary instead.
    out.events.clear();
  } else if (outcome == LogonOutcome::kAccepted) {
    if (const int unshown = throttle_.Succeeded(address); unshown > 0) {
      activity_.LogNote(QStringLiteral("%1 more refused logons from %2 before this one")
                            .arg(unshown)
                            .arg(address));
    }
  }
  // The address the client names in its logon is its own say; an audit needs the real one.
  std::optional<ActivityEntry> row;
  if (!out.events.empty()) row = out.events.front();
  std::vector<Reply> held;
  if (refused && holdsBack) held = std::exchange(out.replies, {});
  client.Apply(out);
  if (row && !address.isEmpty() && row->remoteAddress != address) {
    activity_.LogNote(QStringLiteral("The logon above came from %1 (the client gave \"%2\")")
                          .arg(address, row->remoteAddress),
                      row->user);
  }
  LogRefusalSummaries();
  if (held.empty()) {
    if (done) done();
    return;
  }
  Hold(client, throttle_.WaitMs(address),
       [&client, held = std::move(held), done = std::move(done)] {
         for (const Reply& reply : held) client.transport().Send(reply);
         if (done) done();
       });
}

void LogonGate::LogRefusalSummaries() {
  for (const auto& [address, count] : throttle_.TakeSummaries(summaryEveryMs_)) {
    activity_.LogNote(QStringLiteral("%1 more refused logons from %2").arg(count).arg(address));
  }
}

void LogonGate::Hold(Client& client, qint64 ms, std::function<void()> then) {
  client.Hold(ms, [this, &client, then = std::move(then)] {
    then();
    holdEnded_(client);
  });
}

}  // namespace corvane
