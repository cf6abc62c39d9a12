#pragma once

#include <QtGlobal>

namespace corvane {

// Bounds that keep browsers, or anyone who reaches the web port, from holding connections,
// file descriptors or memory. A browser opens a handful of connections to a server; a whole
// office behind one router may share an address.
inline constexpr int kMostWebConnectionsPerAddress = 32;
inline constexpr int kMostWebConnections = 256;
// From the connection's start until its TLS handshake is done: a browser needs a few round
// trips; a connection that sends nothing, or stops halfway, gives its place back then.
inline constexpr int kWebTlsHandshakeTimeoutMs = 3'000;
// From a request's first byte (or the connection's start) until its header is complete.
inline constexpr int kWebHeaderTimeoutMs = 10'000;
// A connection on which nothing arrives while no answer is due is closed after this long.
inline constexpr int kWebIdleTimeoutMs = 30'000;
// From the end of a request's header until its body is whole, however the bytes trickle.
inline constexpr int kWebBodyTimeoutMs = 30'000;
inline constexpr qsizetype kMostWebHeaderBytes = 32 * 1024;
// The largest request body accepted.
inline constexpr qsizetype kMostWebBodyBytes = 1 << 20;
// A refused request's answer is given this long to reach the browser while what it still
// sends is read and dropped.
inline constexpr int kWebLingerMs = 2'000;
// A web session holds a slot without a connection: where the operator set no inactivity
// limit, one whose browser has sent nothing for this many minutes ends all the same.
inline constexpr int kWebSessionIdleMinutes = 30;
// After an accept error (file descriptors used up, say) accepting starts again after this.
inline constexpr int kWebAcceptRetryMs = 1'000;

// Tests shorten the times and lower the counts.
struct WebLimits {
  int mostConnectionsPerAddress = kMostWebConnectionsPerAddress;
  int mostConnections = kMostWebConnections;
  int tlsHandshakeTimeoutMs = kWebTlsHandshakeTimeoutMs;
  int headerTimeoutMs = kWebHeaderTimeoutMs;
  int idleTimeoutMs = kWebIdleTimeoutMs;
  int bodyTimeoutMs = kWebBodyTimeoutMs;
  qsizetype mostHeaderBytes = kMostWebHeaderBytes;
  qsizetype mostBodyBytes = kMostWebBodyBytes;
  int lingerMs = kWebLingerMs;
  int acceptRetryMs = kWebAcceptRetryMs;
};

}  // namespace corvane
