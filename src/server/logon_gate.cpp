#include "server/logon_gate.h"

#include <QDateTime>
#include <algorithm>
#include <optional>
#include <utility>

#include "protocol/command_descriptor.h"
#include "users/user_rules.h"

namespace corvane {

LogonGate::LogonGate(Dispatcher& dispatcher, SharedCatalogue& catalogue, ActivityReporter& activity,
                     const ConnectionLimits& limits, const ClientTable& clients,
                     RequestMetrics& metrics, std::function<void(Client&)> holdEnded)
    : dispatcher_(dispatcher),
      catalogue_(catalogue),
      activity_(activity),
      summaryEveryMs_(limits.logonSummaryEveryMs),
      clients_(clients),
      metrics_(metrics),
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
  if (const qint64 wait = throttle_.WaitMs(address); client.OnSocket() && wait > 0) {
    Hold(client, wait,
         [this, &client, request = std::move(request), done = std::move(done)]() mutable {
           Serve(client, std::move(request), std::move(done));
         });
    return;
  }
  AwaitClosedSlot(client, std::move(request), std::move(done), QDeadlineTimer(kClosedSlotWaitMs));
}

void LogonGate::AwaitClosedSlot(Client& client, Request request, std::function<void()> done,
                                QDeadlineTimer deadline) {
  if (deadline.hasExpired() || !ClosedSlotFinishing(request.fields.value(0), client.number())) {
    Carry(client, request, std::move(done));
    return;
  }
  awaiting_.emplace_back(&client, client.generation());
  Hold(client, deadline.remainingTime(),
       [this, &client, request = std::move(request), done = std::move(done), deadline]() mutable {
         std::erase(awaiting_, std::pair(&client, client.generation()));
         AwaitClosedSlot(client, std::move(request), std::move(done), deadline);
       });
}

bool LogonGate::ClosedSlotFinishing(const QString& user, int slot) const {
  const QByteArray name = LookupName(user);
  if (name.isEmpty()) return false;
  return std::any_of(clients_.begin(), clients_.end(), [&](const auto& other) {
    return other->number() != slot && other->ConnectionEnded() && other->MustFinish() &&
           LookupName(other->session().SlotUserName) == name;
  });
}

void LogonGate::ClosedSlotSettled() {
  // Entries of clients freed meanwhile are stale: their connection's generation moved on.
  std::erase_if(awaiting_, [](const auto& entry) {
    return entry.first->generation() != entry.second || !entry.first->Held();
  });
  for (const auto& [client, generation] : awaiting_) client->EndHoldSoon();
}

void LogonGate::Carry(Client& client, const Request& request, std::function<void()> done) {
  const QString address = client.transport().PeerAddress();
  const RequestMetrics::Clock::time_point began = RequestMetrics::Clock::now();
  Replies out = dispatcher_.Execute(client.Live(), request, catalogue_.Current());
  // Counted as carried out: the hold of a refusal's answer is the address's wait, not the
  // server's work.
  metrics_.Answered(request.command, out, began);
  const std::optional<LogonOutcome> outcome = out.LogonResult();
  const bool refused = outcome == LogonOutcome::kUserDenied || outcome == LogonOutcome::kPassDenied;
  if (refused) {
    throttle_.Failed(address);
  } else if (outcome == LogonOutcome::kAccepted) {
    if (const int unshown = throttle_.Succeeded(address); unshown > 0) {
      activity_.LogNote(QStringLiteral("%1 more refused logons from %2 before this one")
                            .arg(unshown)
                            .arg(address));
    }
  }
  if (refused && client.OnSocket()) {
    // The refusal is answered, and shown, once the address may try again; one whose
    // connection leaves meanwhile is only counted.
    Hold(
        client, throttle_.WaitMs(address),
        [this, &client, out = std::move(out), address, done = std::move(done)] {
          Answer(client, out, address);
          if (done) done();
        },
        [this, address] { throttle_.Unanswered(address); });
    return;
  }
  Answer(client, out, address);
  if (done) done();
}

void LogonGate::Answer(Client& client, const Replies& out, const QString& address) {
  client.Apply(out);
  // The address the client names in its logon is its own say; an audit needs the real one.
  if (!out.events.empty() && !address.isEmpty() && out.events.front().remoteAddress != address) {
    const ActivityEntry& row = out.events.front();
    activity_.LogNote(QStringLiteral("The logon above came from %1 (the client gave \"%2\")")
                          .arg(address, row.remoteAddress),
                      row.user);
  }
  LogRefusalSummaries();
}

void LogonGate::LogRefusalSummaries() {
  for (const auto& [address, count] : throttle_.TakeSummaries(summaryEveryMs_)) {
    activity_.LogNote(QStringLiteral("%1 more refused logons from %2").arg(count).arg(address));
  }
}

void LogonGate::Hold(Client& client, qint64 ms, std::function<void()> then,
                     std::function<void()> dropped) {
  client.Hold(
      ms,
      [this, &client, then = std::move(then)] {
        then();
        holdEnded_(client);
      },
      std::move(dropped));
}

}  // namespace corvane
