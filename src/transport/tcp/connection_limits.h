#pragma once

#include <QtGlobal>

#include "protocol/logon_throttle.h"

namespace corvane {

// Bounds that keep one client from holding the listener, a slot or memory indefinitely.
// Tests shorten the time limits.
// A handshake is answered the moment it is accepted; a client that keeps the connection open
// after reading its port has it closed after this grace.
inline constexpr int kHandshakeGraceMs = 2'000;
// Handshake connections open at once (answered, within their grace), from one address and
// from all together; beyond them a new one is told the port "0" and closed at once.
inline constexpr int kMostWaitingHandshakesPerAddress = 8;
inline constexpr int kMostWaitingHandshakes = 64;
// A handheld connects to its slot's port the moment it has it.
inline constexpr int kReservationLimitMs = 10'000;
inline constexpr int kLogonGraceMs = 2'000;
inline constexpr qsizetype kReceiveLimitBeforeLogon = 16 * 1024;
inline constexpr qsizetype kReceiveLimitAfterLogon = 1024 * 1024;
// Handhelds behind one router share an address, so this is generous; it keeps one address
// from holding every slot with handshakes that never log on.
inline constexpr int kMostUnloggedSlotsPerAddress = 16;
// Slots reserved by handshakes and not yet connected, from all addresses together: a few
// addresses cannot hold most slots by handshakes alone.
inline constexpr int kMostReservedSlots = 32;
// After an accept error (such as running out of file descriptors) the system stops nothing,
// but Qt stops accepting; the listener tries again after this pause.
inline constexpr int kAcceptRetryMs = 1000;
// Refused logons of one address are summed up in one activity row at most this often.
inline constexpr int kLogonSummaryEveryMs = 60'000;

struct ConnectionLimits {
  // How long a client may keep its first connection open after the port was sent.
  int handshakeGraceMs = kHandshakeGraceMs;
  int mostWaitingHandshakesPerAddress = kMostWaitingHandshakesPerAddress;
  int mostWaitingHandshakes = kMostWaitingHandshakes;
  // How long a reserved slot waits for its client to connect.
  int reservationLimitMs = kReservationLimitMs;
  // How long a new connection may go without a logon before a status refresh drops it: a
  // refresh a moment after a client connected must not drop it before it could log on.
  int logonGraceMs = kLogonGraceMs;
  // The most a slot's receive buffer may hold without a complete frame.
  qsizetype receiveLimitBeforeLogon = kReceiveLimitBeforeLogon;
  qsizetype receiveLimitAfterLogon = kReceiveLimitAfterLogon;
  // Slots reserved for, or connected from, one address without an accepted logon.
  int mostUnloggedSlotsPerAddress = kMostUnloggedSlotsPerAddress;
  int mostReservedSlots = kMostReservedSlots;
  int acceptRetryMs = kAcceptRetryMs;
  // The wait after a first refused logon of an address (it doubles with each further one, up
  // to the longest), and how often a run of refusals is summed up.
  qint64 firstLogonDelayMs = LogonThrottle::kFirstDelayMs;
  qint64 longestLogonDelayMs = LogonThrottle::kLongestDelayMs;
  int logonSummaryEveryMs = kLogonSummaryEveryMs;
};

}  // namespace corvane
