#pragma once

#include <QtGlobal>

namespace corvane {

// How long the statements done for one client request may run in all: a client must not
// hold a worker, its database or the server's memory for longer.
inline constexpr int kClientWorkLimitMs = 30'000;
// The largest text or binary value (and so the largest row) a connection makes or copies:
// far above what a field on a handheld can need, far below what lets one query take the
// server's memory.
inline constexpr int kValueLengthLimitBytes = 8 * 1024 * 1024;
// The most disk the engine's temporary tables of one connection may take: the copied rows
// of query sets and the keys of sets over tables without rowid.
inline constexpr qint64 kTempStorageLimitBytes = qint64{256} * 1024 * 1024;
// The most memory the result of one statement may take where the engine receives whole
// results (a server database): its values and 5 bytes of bookkeeping each. A quarter of
// what a file connection may put on disk, since this is the server's memory: the keys of
// some millions of records, or a copy of a few hundred thousand rows, fit.
inline constexpr qint64 kResultMemoryLimitBytes = qint64{64} * 1024 * 1024;

}  // namespace corvane
