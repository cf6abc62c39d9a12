// Logons over TCP and the web: a refused one makes its address wait before its next logon,
// whichever way that comes, and the activity list sums up runs of refusals. Over TCP the
// refusal's answer waits too.
#include <climits>
#include <optional>

#include "protocol/command_descriptor.h"
#include "protocol/socket_state.h"
#include "server/slot_server.h"

namespace corvane {

bool SlotServer::IsLogon(const Request& request) {
  return request.command && request.command->Is(Command::kLogon);
}

qint64 SlotServer::LogonWaitMs(const QString& address) const {
  return logonThrottle_.WaitMs(address);
}

void SlotServer::ServeLogon(ClientSlot& slot, Request request, std::function<void()> done) {
  const QString address = slot.transport().PeerAddress();
  // The slot's own socket holds a logon back until its address may try again, and a
  // refusal's answer until then; the web access answers "try later" before it asks.
  const bool holdsBack = &slot.transport() == sockets_[slot.number()].get();
  if (const qint64 wait = logonThrottle_.WaitMs(address); holdsBack && wait > 0) {
    Hold(slot, wait, [this, &slot, request = std::move(request), done = std::move(done)]() mutable {
      ServeLogon(slot, std::move(request), std::move(done));
    });
    return;
  }
  Replies out = dispatcher_.Execute(slot.Live(), request, catalogue_.Current());
  const std::optional<LogonOutcome> outcome = out.LogonResult();
  const bool refused = outcome == LogonOutcome::kUserDenied || outcome == LogonOutcome::kPassDenied;
  if (refused && !logonThrottle_.Failed(address)) {
    // Not the first refusal of its address's run: counted for the summary instead.
    out.events.clear();
  } else if (outcome == LogonOutcome::kAccepted) {
    if (const int unshown = logonThrottle_.Succeeded(address); unshown > 0) {
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
  ApplyOutcome(slot, catalogue_, out);
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
  Hold(slot, logonThrottle_.WaitMs(address),
       [&slot, held = std::move(held), done = std::move(done)] {
         for (const Reply& reply : held) slot.transport().Send(reply);
         if (done) done();
       });
}

void SlotServer::LogRefusalSummaries() {
  for (const auto& [address, count] : logonThrottle_.TakeSummaries(limits_.logonSummaryEveryMs)) {
    activity_.LogNote(QStringLiteral("%1 more refused logons from %2").arg(count).arg(address));
  }
}

void SlotServer::Hold(ClientSlot& slot, qint64 ms, std::function<void()> then) {
  HeldSlot& held = held_[slot.number()];
  held.generation = slot.generation();
  held.then = std::move(then);
  slot.transport().PauseInput();
  held.timer.start(static_cast<int>(std::min<qint64>(ms, INT_MAX)));
}

bool SlotServer::Held(const ClientSlot& slot) const {
  const HeldSlot& held = held_[slot.number()];
  return held.then && held.generation == slot.generation();
}

void SlotServer::EndHold(int n) {
  ClientSlot& slot = *slots_[n];
  HeldSlot& held = held_[n];
  const bool current = Held(slot);
  std::function<void()> then = std::exchange(held.then, {});
  // A slot freed meanwhile has nobody left to answer.
  if (!current) return;
  then();
  ServePending(slot);
  if (!Occupied(slot) && slot.State() == kSocketConnected) slot.transport().ResumeInput();
}

}  // namespace corvane
