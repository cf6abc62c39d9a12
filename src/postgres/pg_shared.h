#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "engine/engine_error.h"
#include "engine/work_limits.h"
#include "postgres/pg_pool.h"

namespace corvane {

class Recordset;

// What an open server database and its sets share: the pool they borrow connections from,
// and whether the database is still open (closing it closes every set).
struct PgShared {
  std::shared_ptr<PgPool> pool;
  bool open = true;
  std::vector<Recordset*> sets;
  PgStop stop;                                 // of the request working on the database
  int clientWorkLimitMs = kClientWorkLimitMs;  // of a client's query or find
  // A connection of the pool, stopped with the request.
  PgPool::Lease Borrow(bool fresh = false) {
    PgPool::Lease lease = pool->Borrow(stop, fresh);
    lease->SetStop(stop);
    lease->SetClientWorkLimit(clientWorkLimitMs);
    return lease;
  }
  // `read(connection)`, which only reads: when the connection breaks under it (the server
  // restarted, or failed over), it runs once more on a new connection, so the client never
  // sees it. A failed statement is not run again, nor work that writes: whether a write
  // that lost its connection was done is not known, and the client is told.
  template <typename Read>
  auto Reading(Read&& read) -> decltype(read(std::declval<PgConnection&>())) {
    {
      PgPool::Lease lease = Borrow();
      try {
        return read(*lease);
      } catch (const EngineError&) {
        if (!lease->Lost() || stop.Due()) throw;
      }
    }  // the broken connection goes back to be dropped
    // A new one: the idle ones may not have heard yet that the server went.
    PgPool::Lease lease = Borrow(true);
    return read(*lease);
  }
};

}  // namespace corvane
