#include "server/housekeeping.h"

#include "protocol/socket_state.h"
#include "transport/web/web_limits.h"

namespace corvane {
namespace {

// From this many logged-on users on, the status panel warns that the server is full: one
// slot short of all of them.
constexpr int kCrowdedUserCount = kSlotCount - 1;
// A renewed key seed is drawn from 1 up to this.
constexpr int kMostRenewedKeySeed = 126;

}  // namespace

Housekeeping::Housekeeping(ClientTable& clients, const ServerSettings& settings,
                           PseudoRandom& random, const ConnectionLimits& limits,
                           CurrentUsersModel& usersList)
    : clients_(clients),
      settings_(settings),
      random_(random),
      logonGraceMs_(limits.logonGraceMs),
      usersList_(usersList) {}

void Housekeeping::ReapClosingSlots() {
  // A connection that failed is as gone as one its peer closed. Work that may take long is
  // stopped with it; what must finish (an edit sent just before the end) frees the slot
  // when it is done.
  for (const auto& client : clients_) {
    if (client->ConnectionEnded() && !client->MustFinish()) client->Free(FreeReason::kPeerClosed);
  }
}

const StatusTexts& Housekeeping::RefreshStatus(int listenerState, quint16 listenerPort) {
  ReapClosingSlots();
  usersList_.Clear();
  int count = 0;
  for (const auto& client : clients_) {
    if (client->State() != kSocketConnected) continue;
    if (client->session().SlotUserName.isEmpty()) {
      // Not logged on by now: dropped without a word (a refused logon whose answer is still
      // held back once it is answered).
      if (!client->Held() && client->transport().ConnectedMs() >= logonGraceMs_) {
        client->Free(FreeReason::kNoLogon);
      }
      continue;
    }
    ++count;
    usersList_.AddRow(client->UsersListRow());
  }
  status_.status = QStringLiteral("Status: ") + SocketStateText(listenerState);
  if (count >= kCrowdedUserCount) status_.status += QStringLiteral("   Maximum Users Allowed");
  status_.port = QStringLiteral("Port: ") + QString::number(listenerPort);
  status_.users = QStringLiteral("Users: ") + QString::number(count);
  return status_;
}

void Housekeeping::RenewKeySeed() {
  int16_t seed = 0;
  while (seed == 0) seed = static_cast<int16_t>(random_.Next() * (kMostRenewedKeySeed + 1));
  keySeed_ = seed;
}

void Housekeeping::CheckInactivity() {
  // 0 or less: clients of the TCP port are never disconnected for idleness.
  const int limit = settings_.InactivityLimit;
  for (const auto& client : clients_) {
    // A request still running is no idleness of its client's.
    if (client->Busy()) continue;
    const int clientLimit = limit > 0 ? limit : client->OnSocket() ? 0 : kWebSessionIdleMinutes;
    if (clientLimit <= 0) continue;
    if (client->session().IdleMinutes < clientLimit) {
      client->CountIdleMinute();
      continue;
    }
    const int state = client->State();
    if (state == kSocketConnected || SocketEnded(state)) client->Free(FreeReason::kInactive);
    client->RestartIdleCount();
  }
}

void Housekeeping::ResetIdleCounts() {
  for (const auto& client : clients_) client->RestartIdleCount();
}

}  // namespace corvane
