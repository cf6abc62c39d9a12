// The status refresh, the timers' work and the ways all slots are freed at once.
#include "protocol/socket_state.h"
#include "server/slot_server.h"

namespace corvane {
namespace {

// From this many logged-on users on, the status panel warns that the server is full: one
// slot short of all of them.
constexpr int kCrowdedUserCount = kSlotCount - 1;
// A renewed key seed is drawn from 1 up to this.
constexpr int kMostRenewedKeySeed = 126;

}  // namespace

void SlotServer::ReapClosingSlots() {
  // A connection that failed is as gone as one its peer closed; left alone, its user name
  // would keep that user out while multiple logons are not allowed.
  for (const auto& slot : slots_) {
    const int state = slot->State();
    if (state == kSocketPeerClosing || state == kSocketError) slot->Free(FreeReason::kPeerClosed);
  }
}

void SlotServer::FreeClosedSlot(ClientSlot& slot) {
  // The client may have sent its last request just before it closed: what runs is carried
  // out, and FinishWork frees the slot when it is done.
  if (slot.Busy() || &slot.transport() != sockets_[slot.number()].get()) return;
  const int state = slot.State();
  if (state == kSocketPeerClosing || state == kSocketError) slot.Free(FreeReason::kPeerClosed);
}

const StatusTexts& SlotServer::RefreshStatus() {
  ReapClosingSlots();
  currentUsers_.Clear();
  int count = 0;
  for (const auto& slot : slots_) {
    if (slot->State() != kSocketConnected) continue;
    if (slot->session.SlotUserName.isEmpty()) {
      // Not logged on by now: dropped without a word (a refused logon whose answer is still
      // held back once it is answered).
      if (!Held(*slot) && slot->transport().ConnectedMs() >= limits_.logonGraceMs) {
        slot->Free(FreeReason::kNoLogon);
      }
      continue;
    }
    ++count;
    currentUsers_.AddRow(slot->UsersListRow());
  }
  LogRefusalSummaries();
  status_.status = QStringLiteral("Status: ") + SocketStateText(listener_.State());
  if (count >= kCrowdedUserCount) status_.status += QStringLiteral("   Maximum Users Allowed");
  status_.port = QStringLiteral("Port: ") + QString::number(listener_.LocalPort());
  status_.users = QStringLiteral("Users: ") + QString::number(count);
  Q_EMIT StatusRefreshed();
  return status_;
}

int SlotServer::ConnectedCount() const {
  int count = 0;
  for (const auto& slot : slots_) count += slot->State() == kSocketConnected ? 1 : 0;
  return count;
}

void SlotServer::FreeEverySlot(FreeReason reason) {
  for (const auto& slot : slots_) slot->Free(reason);
  currentUsers_.Clear();
}

void SlotServer::RenewKeySeed() {
  int16_t seed = 0;
  while (seed == 0) seed = static_cast<int16_t>(random_.Next() * (kMostRenewedKeySeed + 1));
  keySeed_ = seed;
}

bool SlotServer::CheckInactivity() {
  const int limit = settings_.InactivityLimit;
  // 0 or less: clients are never disconnected for idleness.
  if (limit <= 0) return false;
  for (const auto& slot : slots_) {
    // A request still running is no idleness of its client's.
    if (slot->Busy()) continue;
    SlotSession& session = slot->session;
    if (session.IdleMinutes < limit) {
      ++session.IdleMinutes;
      continue;
    }
    const int state = slot->State();
    if (state == kSocketConnected || state == kSocketPeerClosing || state == kSocketError) {
      slot->Free(FreeReason::kInactive);
    }
    session.IdleMinutes = 0;
  }
  return true;
}

void SlotServer::ResetIdleCounts() {
  for (const auto& slot : slots_) slot->session.IdleMinutes = 0;
}

}  // namespace corvane
