// The status refresh, the timers' work and the ways all slots are closed at once.
#include "server/slot_server.h"
#include "transport/tcp/socket_state.h"

namespace corvane {
namespace {

// From this many logged-on users on, the status panel warns that the server is full.
constexpr int kCrowdedUserCount = 99;

}  // namespace

void SlotServer::ReapClosingSlots() {
  // A connection that failed is as gone as one its peer closed; left alone, its user name
  // would keep that user out while multiple logons are not allowed.
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const int state = sockets_[slot]->State();
    if (state == kSocketPeerClosing || state == kSocketError) FreeClosedSlot(slot);
  }
}

const StatusTexts& SlotServer::RefreshStatus() {
  ReapClosingSlots();
  currentUsers_.Clear();
  int count = 0;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (sockets_[slot]->State() != kSocketConnected) continue;
    const SlotSession& session = sessions_.at(slot);
    if (session.SlotUserName.isEmpty()) {
      // Not logged on by now: dropped without a word.
      if (sockets_[slot]->ConnectedMs() >= limits_.logonGraceMs) sockets_[slot]->Close();
      continue;
    }
    ++count;
    CurrentUserRow row;
    row.localPort = QString::number(sockets_[slot]->LocalPort());
    row.user = session.SlotUserName;
    row.remoteAddress = session.SlotRemoteAddress;
    row.database = session.SlotDatabaseName;
    row.object = session.SlotObjectName;
    row.slot = slot;
    currentUsers_.AddRow(row);
  }
  status_.status = QStringLiteral("Status: ") + SocketStateText(listener_.State());
  if (count >= kCrowdedUserCount) status_.status += QStringLiteral("   Maximum Users Allowed");
  status_.port = QStringLiteral("Port: ") + QString::number(listener_.LocalPort());
  status_.users = QStringLiteral("Users: ") + QString::number(count);
  Q_EMIT StatusRefreshed();
  return status_;
}

bool SlotServer::AnyClientConnected() const { return ConnectedCount() > 0; }

int SlotServer::ConnectedCount() const {
  int count = 0;
  for (const SlotSocket* socket : sockets_) count += socket->State() == kSocketConnected ? 1 : 0;
  return count;
}

void SlotServer::CloseAllSlots() {
  for (SlotSocket* socket : sockets_) {
    if (socket->State() != kSocketClosed) socket->Close();
  }
}

void SlotServer::DisconnectAllSlots() {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    sockets_[slot]->Close();
    ClearSlotText(sessions_.at(slot));
  }
  currentUsers_.Clear();
}

void SlotServer::CloseEverySlot() {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    sessions_.CloseSlotDatabase(slot);
    sockets_[slot]->Close();
  }
}

void SlotServer::RenewKeySeed() {
  int16_t seed = 0;
  while (seed == 0) seed = static_cast<int16_t>(random_.Next() * 127.0);
  sessions_.SetKeySeed(seed);
}

bool SlotServer::CheckInactivity() {
  const int limit = settings_.InactivityLimit;
  if (limit == 0) return false;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    SlotSession& session = sessions_.at(slot);
    if (session.IdleMinutes < limit) {
      ++session.IdleMinutes;
      continue;
    }
    if (sockets_[slot]->State() == kSocketConnected) {
      sockets_[slot]->Close();
      activity_.LogActivity(slot, "Logoff");
    }
    sessions_.CloseSlotDatabase(slot);
    session.ReceiveBuffer.clear();
    session.ReceiveScanFrom = 0;
    ClearSlotText(session);
    session.IdleMinutes = 0;
  }
  return true;
}

void SlotServer::ResetIdleCounts() {
  for (int slot = 0; slot < kSlotCount; ++slot) sessions_.at(slot).IdleMinutes = 0;
}

}  // namespace corvane
