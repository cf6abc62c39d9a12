#include "postgres/pg_pool.h"

#include <chrono>

#include "engine/engine_error.h"

namespace corvane {

PgPool::PgPool(QString location, int size, int statementTimeoutMs)
    : location_(std::move(location)), size_(size), statementTimeoutMs_(statementTimeoutMs) {}

PgPool::Lease PgPool::Borrow() {
  std::unique_lock lock(mutex_);
  const bool free = returned_.wait_for(lock, std::chrono::seconds(kServerConnectTimeoutSeconds),
                                       [this] { return !idle_.empty() || lent_ < size_; });
  if (!free) {
    throw EngineError(engine_error::kConnectionFailed,
                      QStringLiteral("Every connection to the server database is busy."));
  }
  ++lent_;
  if (!idle_.empty()) {
    std::unique_ptr<PgConnection> connection = std::move(idle_.back());
    idle_.pop_back();
    return Lease(*this, std::move(connection));
  }
  lock.unlock();
  try {
    return Lease(*this, std::make_unique<PgConnection>(location_, statementTimeoutMs_));
  } catch (...) {
    lock.lock();
    --lent_;
    returned_.notify_one();
    throw;
  }
}

void PgPool::GiveBack(std::unique_ptr<PgConnection> connection) {
  const std::lock_guard lock(mutex_);
  --lent_;
  connection->SetStop({});
  if (connection->Usable()) idle_.push_back(std::move(connection));
  returned_.notify_one();
}

}  // namespace corvane
