#pragma once

#include <memory>
#include <vector>

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
  PgPool::Lease Borrow() {
    PgPool::Lease lease = pool->Borrow();
    lease->SetStop(stop);
    lease->SetClientWorkLimit(clientWorkLimitMs);
    return lease;
  }
};

}  // namespace corvane
