#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "postgres/pg_connection.h"

namespace corvane {

struct PgOpenedTable;

// The most connections one Corvane server keeps to one server database: PostgreSQL allows
// 100 in all by default, and several Corvane servers share them.
inline constexpr int kServerPoolSize = 8;
// How long after the server closed connections (a restart, a failover) connecting is tried
// again before a borrower is told it does not answer; a fast restart takes a second or two.
inline constexpr int kServerRestartWaitMs = 10'000;
// The pause between two such tries.
inline constexpr int kServerReconnectPauseMs = 200;
// How long records a set read ahead serve its moves (postgres.dat): changes made through
// another server, or straight in the database, show within this time. 0: every move reads.
inline constexpr int kServerFreshMs = 1'000;
// The most tables whose opened sets a pool keeps for the next opens (PgOpenedTable).
inline constexpr int kOpenedTablesKept = 16;
// Tables are counted for their saves in this many counters (by a hash of the name): two
// tables that share one only cost each other's sets an early read.
inline constexpr int kSaveCounters = 256;

// Told, on the thread that saw it, that a server database answered a new connection
// (`answered` true) or that connecting or a connection failed, with libpq's message.
using PgOutcome =
    std::function<void(const QString& location, bool answered, const QString& message)>;

// How a pool connects: the connect timeout in seconds, and whom it tells how that went.
// `inUse`, when given, counts the connections lent out by every pool that shares it, for
// monitoring.
struct PgPoolOptions {
  int connectTimeoutSeconds = kServerConnectTimeoutSeconds;
  PgOutcome outcome;
  std::shared_ptr<std::atomic<int>> inUse;
  int freshMs = kServerFreshMs;
};

// The connections of one Corvane server to one published server database. A request
// borrows one for its work and gives it back; a broken one is dropped on return and a new
// one made when needed, so the pool heals by itself once the server answers again. An
// idle one the server closed meanwhile (it restarted) is replaced when borrowed, so no
// request fails on it; while the server is coming back, borrowers keep trying to connect
// for kServerRestartWaitMs (or until their request is stopped).
class PgPool {
 public:
  PgPool(QString location, int size, int statementTimeoutMs, PgPoolOptions options = {});

  // Hands a connection back when it goes out of scope.
  class Lease {
   public:
    Lease(PgPool& pool, std::unique_ptr<PgConnection> connection)
        : pool_(&pool), connection_(std::move(connection)) {}
    Lease(Lease&& other) noexcept = default;
    Lease& operator=(Lease&&) = delete;
    ~Lease() {
      if (connection_) pool_->GiveBack(std::move(connection_));
    }
    PgConnection& operator*() const { return *connection_; }
    PgConnection* operator->() const { return connection_.get(); }

   private:
    PgPool* pool_;
    std::unique_ptr<PgConnection> connection_;
  };

  // Waits while all connections are lent out (at most the connect timeout; then 3151).
  // Connects when none is idle; throws EngineError 3151 when the server does not answer.
  // Nothing has been sent on the connection, so waiting for a restart is safe for writes too.
  // `fresh`: a new connection, not an idle one (which may be about to break as well).
  Lease Borrow(const PgStop& stop = {}, bool fresh = false);
  // Opens connections until the pool holds all it may (idle and lent), so that a burst of
  // requests finds them open instead of each waiting for a new PostgreSQL backend to
  // start. Stops quietly at the first that fails (the server's limit on connections, say):
  // borrowers then connect as they need, as before.
  void Fill();
  const QString& location() const { return location_; }
  int FreshMs() const { return options_.freshMs; }
  // Saves through this server to `table`, from any client: records a set read ahead before
  // the count last changed are read again.
  uint64_t Saves(const QString& table) const {
    return saves_[SaveCounter(table)].load(std::memory_order_acquire);
  }
  void CountSave(const QString& table) {
    saves_[SaveCounter(table)].fetch_add(1, std::memory_order_acq_rel);
  }
  // Whether what was read of `table` at `readAt`, when its save count was `saves`, still
  // serves: younger than the freshness limit, and no save through this server since.
  bool StillFresh(const QString& table, std::chrono::steady_clock::time_point readAt,
                  uint64_t saves) const {
    return options_.freshMs > 0 &&
           std::chrono::steady_clock::now() - readAt <
               std::chrono::milliseconds(options_.freshMs) &&
           Saves(table) == saves;
  }
  // The table named `name` (in any case) as a set of it last opened, while younger than the
  // freshness limit and no save went to it through this server since. Else, while another
  // open of it is under way (handhelds switched on together), waits for that one (as long as
  // `stop` allows) and takes what it left; else none, with `leading` set: this open is the
  // one others wait for, until EndOpening.
  std::shared_ptr<const PgOpenedTable> Opened(const QString& name, const PgStop& stop,
                                              bool& leading);
  void EndOpening(const QString& name);
  void KeepOpened(std::shared_ptr<const PgOpenedTable> table);

 private:
  void GiveBack(std::unique_ptr<PgConnection> connection);
  // An idle connection the server has not closed, or none.
  std::unique_ptr<PgConnection> TakeIdle();
  std::unique_ptr<PgConnection> Connect(bool tellFailure = true);
  // Connect, tried again while the server may be restarting.
  std::unique_ptr<PgConnection> Reconnect(const PgStop& stop);
  void Tell(bool answered, const QString& message) const;
  bool StillFresh(const PgOpenedTable& table) const;
  static size_t SaveCounter(const QString& table) { return qHash(table, 0) % kSaveCounters; }
  void CountInUse(int change) const {
    if (options_.inUse) options_.inUse->fetch_add(change, std::memory_order_relaxed);
  }

  const QString location_;
  const int size_;
  const int statementTimeoutMs_;
  const PgPoolOptions options_;
  std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<std::unique_ptr<PgConnection>> idle_;
  int lent_ = 0;
  qint64 lostAtMs_ = 0;  // when the server last closed a connection; 0 once one is made
  std::array<std::atomic<uint64_t>, kSaveCounters> saves_{};
  std::mutex openedMutex_;
  QHash<QString, std::shared_ptr<const PgOpenedTable>> opened_;  // by case-folded name
  QSet<QString> opening_;  // case-folded names of tables being opened by a leading open
  std::condition_variable openingEnded_;
};

}  // namespace corvane
