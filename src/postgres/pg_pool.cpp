#include "postgres/pg_pool.h"

#include <chrono>

#include "engine/engine_error.h"

namespace corvane {

PgPool::PgPool(QString location, int size, int statementTimeoutMs, PgPoolOptions options)
    : location_(std::move(location)),
      size_(size),
      statementTimeoutMs_(statementTimeoutMs),
      options_(std::move(options)) {}

PgPool::Lease PgPool::Borrow() {
  std::unique_lock lock(mutex_);
  const bool free = returned_.wait_for(lock, std::chrono::seconds(options_.connectTimeoutSeconds),
                                       [this] { return !idle_.empty() || lent_ < size_; });
  if (!free) {
    throw EngineError(engine_error::kConnectionFailed,
                      QStringLiteral("Every connection to the server database is busy."));
  }
  ++lent_;
  CountInUse(1);
  std::unique_ptr<PgConnection> connection = TakeIdle();
  lock.unlock();
  if (connection) return Lease(*this, std::move(connection));
  try {
    return Lease(*this, Connect());
  } catch (...) {
    lock.lock();
    --lent_;
    CountInUse(-1);
    returned_.notify_one();
    throw;
  }
}

std::unique_ptr<PgConnection> PgPool::TakeIdle() {
  while (!idle_.empty()) {
    std::unique_ptr<PgConnection> connection = std::move(idle_.back());
    idle_.pop_back();
    // Only reads what already arrived, so checking under the lock costs no round trip.
    if (connection->StillOpen()) return connection;
  }
  return nullptr;
}

void PgPool::Fill() {
  while (true) {
    {
      const std::lock_guard lock(mutex_);
      if (static_cast<int>(idle_.size()) + lent_ >= size_) return;
      ++lent_;  // the place of the connection being made
    }
    std::unique_ptr<PgConnection> connection;
    try {
      connection = Connect(false);
    } catch (const EngineError&) {
    }
    const bool made = connection != nullptr;
    {
      const std::lock_guard lock(mutex_);
      --lent_;
      if (made) idle_.push_back(std::move(connection));
      returned_.notify_one();
    }
    if (!made) return;
  }
}

std::unique_ptr<PgConnection> PgPool::Connect(bool tellFailure) {
  try {
    auto connection = std::make_unique<PgConnection>(location_, statementTimeoutMs_,
                                                     options_.connectTimeoutSeconds);
    Tell(true, {});
    return connection;
  } catch (const EngineError& error) {
    if (tellFailure) Tell(false, error.description());
    throw;
  }
}

void PgPool::Tell(bool answered, const QString& message) const {
  if (options_.outcome) options_.outcome(location_, answered, message);
}

void PgPool::GiveBack(std::unique_ptr<PgConnection> connection) {
  bool lost = false;
  {
    const std::lock_guard lock(mutex_);
    --lent_;
    CountInUse(-1);
    connection->SetStop({});
    lost = !connection->Usable();
    if (!lost) idle_.push_back(std::move(connection));
    returned_.notify_one();
  }
  if (lost) {
    Tell(false, QStringLiteral("The connection to the server database was lost: %1")
                    .arg(connection->LastMessage()));
  }
}

}  // namespace corvane
