#include "postgres/pg_pool.h"

#include <QDateTime>
#include <algorithm>
#include <chrono>
#include <thread>

#include "base/database_wait_guard.h"
#include "engine/engine_error.h"
#include "postgres/pg_recordset.h"

namespace corvane {

PgPool::PgPool(QString location, int size, int statementTimeoutMs, PgPoolOptions options)
    : location_(std::move(location)),
      size_(size),
      statementTimeoutMs_(statementTimeoutMs),
      options_(std::move(options)) {}

PgPool::Lease PgPool::Borrow(const PgStop& stop, bool fresh) {
  std::unique_lock lock(mutex_);
  const bool free = returned_.wait_for(lock, std::chrono::seconds(options_.connectTimeoutSeconds),
                                       [this] { return !idle_.empty() || lent_ < size_; });
  if (!free) {
    throw EngineError(engine_error::kConnectionFailed,
                      QStringLiteral("Every connection to the server database is busy."));
  }
  ++lent_;
  CountInUse(1);
  std::unique_ptr<PgConnection> connection;
  if (!fresh) {
    connection = TakeIdle();
  } else if (static_cast<int>(idle_.size()) + lent_ > size_) {
    idle_.erase(idle_.begin());  // the oldest makes room for the new one
  }
  lock.unlock();
  if (connection) return Lease(*this, std::move(connection));
  try {
    return Lease(*this, Reconnect(stop));
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
    lostAtMs_ = QDateTime::currentMSecsSinceEpoch();
  }
  return nullptr;
}

std::unique_ptr<PgConnection> PgPool::Reconnect(const PgStop& stop) {
  for (;;) {
    try {
      std::unique_ptr<PgConnection> connection = Connect();
      const std::lock_guard lock(mutex_);
      lostAtMs_ = 0;
      return connection;
    } catch (const EngineError&) {
      qint64 lostAt = 0;
      {
        const std::lock_guard lock(mutex_);
        lostAt = lostAtMs_;
      }
      // A server that was never lost does not answer: said at once, as before.
      const qint64 now = QDateTime::currentMSecsSinceEpoch();
      if (lostAt == 0 || now >= lostAt + kServerRestartWaitMs || stop.Due()) throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kServerReconnectPauseMs));
  }
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
    const bool usable = connection->Usable();
    lost = !usable && !connection->Retired();
    if (usable) idle_.push_back(std::move(connection));
    if (lost) lostAtMs_ = QDateTime::currentMSecsSinceEpoch();
    returned_.notify_one();
  }
  if (lost) {
    Tell(false, QStringLiteral("The connection to the server database was lost: %1")
                    .arg(connection->LastMessage()));
  }
}

bool PgPool::StillFresh(const PgOpenedTable& table) const {
  return StillFresh(table.source.table, table.readAt, table.saves);
}

std::shared_ptr<const PgOpenedTable> PgPool::Opened(const QString& name, const PgStop& stop,
                                                    bool& leading) {
  leading = false;
  const QString key = name.toCaseFolded();
  std::unique_lock lock(openedMutex_);
  for (bool waited = false;; waited = true) {
    const auto found = opened_.constFind(key);
    if (found != opened_.constEnd() && StillFresh(**found)) return *found;
    // One wait at most: an open that keeps nothing (a view) makes the next ones read.
    if (options_.freshMs <= 0 || waited) return nullptr;
    if (!opening_.contains(key)) {
      opening_.insert(key);
      leading = true;
      return nullptr;
    }
    CORVANE_CHECK_DATABASE_WAIT("Waiting for another open of a server table");
    while (opening_.contains(key) && !stop.Due()) {
      openingEnded_.wait_for(lock, std::chrono::milliseconds(kServerStopCheckMs));
    }
  }
}

void PgPool::EndOpening(const QString& name) {
  {
    const std::lock_guard lock(openedMutex_);
    opening_.remove(name.toCaseFolded());
  }
  openingEnded_.notify_all();
}

void PgPool::KeepOpened(std::shared_ptr<const PgOpenedTable> table) {
  if (options_.freshMs <= 0) return;
  const std::lock_guard lock(openedMutex_);
  for (auto it = opened_.begin(); it != opened_.end();) {
    it = StillFresh(**it) ? std::next(it) : opened_.erase(it);
  }
  if (opened_.size() >= kOpenedTablesKept) {
    const auto oldest =
        std::min_element(opened_.cbegin(), opened_.cend(),
                         [](const auto& a, const auto& b) { return a->readAt < b->readAt; });
    opened_.erase(oldest);
  }
  const QString name = table->source.table.toCaseFolded();
  opened_.insert(name, std::move(table));
}

}  // namespace corvane
