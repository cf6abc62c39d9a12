#pragma once

// A database for a test on either engine: a SQLite file in a folder of the test's, or the
// public schema of the throwaway PostgreSQL cluster's database (run-with-cluster.sh starts
// one; pg_virtualenv sets PGHOST and PGPORT), emptied first.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace corvane {
class PgConnection;
}

namespace corvane::test {

enum class Engine { kSqlite, kPostgres };

// Instance names of suites run on both engines: Engines/Suite.Test/Sqlite or /Postgres.
inline ::testing::internal::ParamGenerator<Engine> BothEngines() {
  return ::testing::Values(Engine::kSqlite, Engine::kPostgres);
}
inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
  return info.param == Engine::kSqlite ? "Sqlite" : "Postgres";
}

// Whether the environment names a cluster.
bool PgAvailable();
inline constexpr const char* kNoCluster =
    "No PostgreSQL cluster: run this through tests/postgres/run-with-cluster.sh "
    "(ctest -L postgres does).";
// The cluster's database as a location to publish; libpq takes the host, port, user and
// password from the cluster's environment.
QString PgLocation();
// The same database reached as the cluster's superuser, for what only it may do (event
// triggers); the server refuses to publish it.
QString PgSuperuserLocation();
// Runs the statements (separated by ";") on a connection of the test's own, to the
// cluster's database or to the one at `location`.
void PgExec(const QString& sql);
void PgExecOn(const QString& location, const QString& sql);
// The first column of the first row as text; empty for Null or no row.
QString PgValue(const QString& sql, const QString& location = PgLocation());
void PgEmptySchema();

// A connection of the test's own to the cluster's database that stays open between its
// statements: another program's session, holding a lock, say.
class PgSession {
 public:
  PgSession();
  ~PgSession();
  void Exec(const QString& sql);

 private:
  std::unique_ptr<PgConnection> connection_;
};

class TestDatabase {
 public:
  // `file` is the SQLite file; unused for PostgreSQL.
  TestDatabase(Engine engine, QString file) : engine_(engine), file_(std::move(file)) {}

  bool IsPostgres() const { return engine_ == Engine::kPostgres; }
  // Empties the cluster's schema; false when the engine is not there (skip the test).
  bool Prepare();
  QString location() const;

  // Statements separated by ";". Tables are declared in SQLite's words (INTEGER PRIMARY KEY
  // AUTOINCREMENT, LONG, CURRENCY, DATETIME, DOUBLE, YESNO); PostgreSQL gets its own.
  void Exec(const QString& sql) const;
  // The first column of the first row: invalid for Null or no row, else the value (text on
  // PostgreSQL).
  QVariant Query(const QString& sql) const;
  // Whether a view of that name is stored.
  bool HasView(const QString& name) const;
  // "people" (id auto-number, name VARCHAR(nameSize), age SMALLINT) holding `names` with the
  // ages 10, 20, 30 ...
  void MakePeople(const QStringList& names, int nameSize = 10) const;

 private:
  Engine engine_;
  QString file_;
};

}  // namespace corvane::test
