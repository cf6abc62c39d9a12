#pragma once

#include <QHash>
#include <QString>
#include <memory>
#include <mutex>

#include "engine/database.h"
#include "postgres/pg_pool.h"

namespace corvane {

// Opens what one Corvane server publishes: files with the SQLite engine, server databases
// (see IsServerDatabaseLocation) over libpq, with one connection pool (kServerPoolSize)
// per server database, made when it is first opened and kept for the server's life.
// Called from worker threads.
class ServedDatabases final : public DatabaseOpener {
 public:
  std::unique_ptr<Database> Open(const QString& location) override;

  // How the pools connect; set before the first server database is opened (tests shorten
  // the connect timeout; the server instance listens to the outcomes).
  void SetPoolOptions(PgPoolOptions options);
  // How long records read ahead serve moves (PgPoolOptions::freshMs), before the first open.
  void SetFreshMs(int ms);

 private:
  std::shared_ptr<PgPool> PoolFor(const QString& location);

  std::mutex mutex_;
  PgPoolOptions options_;
  QHash<QString, std::shared_ptr<PgPool>> pools_;
};

// Connects once to a server database, as publishing it would: the server's version
// ("PostgreSQL 15.4") on success, otherwise why not (*ok false). Blocks for up to the connect
// timeout, so the desktop runs it off its event-loop thread.
QString ProbeServerDatabase(const QString& location, bool* ok,
                            int connectTimeoutSeconds = kServerConnectTimeoutSeconds);

}  // namespace corvane
