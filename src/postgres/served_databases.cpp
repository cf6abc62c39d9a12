#include "postgres/served_databases.h"

#include "base/database_location.h"
#include "engine/engine_error.h"
#include "engine/work_limits.h"
#include "postgres/pg_database.h"
#include "postgres/pg_pool.h"

namespace corvane {

std::unique_ptr<Database> ServedDatabases::Open(const QString& location) {
  if (!IsServerDatabaseLocation(location)) return OpenDatabase(location);
  if (const QString problem = ServerLocationProblem(location); !problem.isEmpty()) {
    throw EngineError(engine_error::kConnectionFailed, problem);
  }
  return std::make_unique<PgDatabase>(PoolFor(location.trimmed()));
}

void ServedDatabases::SetPoolOptions(PgPoolOptions options) {
  const std::lock_guard lock(mutex_);
  options_ = std::move(options);
}

void ServedDatabases::SetFreshMs(int ms) {
  const std::lock_guard lock(mutex_);
  options_.freshMs = ms;
}

QString ProbeServerDatabase(const QString& location, bool* ok, int connectTimeoutSeconds) {
  *ok = false;
  if (!IsServerDatabaseLocation(location)) {
    return QStringLiteral(
        "This is no connection text: it begins with postgresql://, "
        "postgres:// or service=.");
  }
  if (const QString problem = ServerLocationProblem(location); !problem.isEmpty()) return problem;
  try {
    const PgConnection connection(location.trimmed(), kClientWorkLimitMs, connectTimeoutSeconds);
    RefuseSuperuser(connection);
    *ok = true;
    return QStringLiteral("PostgreSQL ") + connection.ServerVersion();
  } catch (const EngineError& e) {
    return e.description();
  }
}

std::shared_ptr<PgPool> ServedDatabases::PoolFor(const QString& location) {
  const std::lock_guard lock(mutex_);
  std::shared_ptr<PgPool>& pool = pools_[location];
  if (!pool) {
    pool = std::make_shared<PgPool>(location, kServerPoolSize, kClientWorkLimitMs, options_);
  }
  return pool;
}

}  // namespace corvane
