#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <memory>

#include "base/pseudo_random.h"
#include "base/server_settings.h"
#include "commands/current_users_model.h"
#include "commands/logon.h"
#include "protocol/slot_session.h"
#include "server/client.h"
#include "transport/tcp/connection_limits.h"

namespace corvane {

// The three panels of the status bar.
struct StatusTexts {
  QString status;  // "Status: " + the listener's state text (+ "   Maximum Users Allowed")
  QString port;    // "Port: " + the listener's port
  QString users;   // "Users: " + the number of logged-on slots
};

// The timers' work over a server's clients: the status refresh (reaping connections that
// ended, dropping those that did not log on in time, the users list and the status texts),
// the key seed's renewal and the inactivity check. Everything frees clients through Free.
class Housekeeping {
 public:
  Housekeeping(ClientTable& clients, const ServerSettings& settings, PseudoRandom& random,
               const ConnectionLimits& limits, CurrentUsersModel& usersList);

  // Frees every client whose peer closed or whose connection failed, unless what it sent
  // must still finish (Client::MustFinish): "Logoff" for each.
  void ReapClosingSlots();
  // Reaps, drops the connections that have not logged on, rebuilds the users list and the
  // status texts from the listener's state and port.
  const StatusTexts& RefreshStatus(int listenerState, quint16 listenerPort);
  const StatusTexts& Status() const { return status_; }

  // The next session key to hand out: kStartKeySeed until the first renewal, then 1..126.
  const int16_t& KeySeed() const { return keySeed_; }
  void SetKeySeed(int16_t seed) { keySeed_ = seed; }
  void RenewKeySeed();

  // One minute of the inactivity check: clients idle for InactivityLimit minutes are let go.
  // Where the limit is off (0 or less), web sessions still end after
  // kWebSessionIdleMinutes: they hold a slot with no connection of their own.
  void CheckInactivity();
  // Every client's count starts again from 0 (the setup changed the limit).
  void ResetIdleCounts();

 private:
  ClientTable& clients_;
  const ServerSettings& settings_;
  PseudoRandom& random_;
  int logonGraceMs_;
  CurrentUsersModel& usersList_;
  StatusTexts status_;
  int16_t keySeed_ = kStartKeySeed;
};

}  // namespace corvane
