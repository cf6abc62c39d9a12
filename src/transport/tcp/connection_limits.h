#pragma once

#include <QtGlobal>

namespace corvane {

// Bounds that keep one client from holding the listener, a slot or memory indefinitely.
// Tests shorten the time limits.
inline constexpr int kHandshakeHoldLimitMs = 10'000;
inline constexpr int kReservationLimitMs = 30'000;
inline constexpr int kLogonGraceMs = 2'000;
inline constexpr qsizetype kReceiveLimitBeforeLogon = 16 * 1024;
inline constexpr qsizetype kReceiveLimitAfterLogon = 1024 * 1024;

struct ConnectionLimits {
  // How long a client may keep its first connection open after the port was sent.
  int handshakeHoldLimitMs = kHandshakeHoldLimitMs;
  // How long a reserved slot waits for its client to connect.
  int reservationLimitMs = kReservationLimitMs;
  // How long a new connection may go without a logon before a status refresh drops it: a
  // refresh a moment after a client connected must not drop it before it could log on.
  int logonGraceMs = kLogonGraceMs;
  // The most a slot's receive buffer may hold without a complete frame.
  qsizetype receiveLimitBeforeLogon = kReceiveLimitBeforeLogon;
  qsizetype receiveLimitAfterLogon = kReceiveLimitAfterLogon;
};

}  // namespace corvane
