#pragma once

#include <QString>

namespace corvane {

// Socket state numbers that the refresh, the exit count and the housekeeping test.
enum SocketState : int {
  kSocketClosed = 0,
  kSocketOpen = 1,
  kSocketListening = 2,
  kSocketConnectionPending = 3,
  kSocketResolvingHost = 4,
  kSocketHostResolved = 5,
  kSocketConnecting = 6,
  kSocketConnected = 7,
  kSocketPeerClosing = 8,
  kSocketError = 9,
};

// "Closed" ... "Error"; the empty text for a number outside 0..9.
QString SocketStateText(int state);

// The connection has ended (the peer closed it, or it failed) and its slot waits to be freed.
inline bool SocketEnded(int state) { return state == kSocketPeerClosing || state == kSocketError; }

}  // namespace corvane
