#pragma once

// A server database in the throwaway cluster that run-with-cluster.sh starts: the public
// schema emptied before each test, set up with plain SQL.

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>

#include "engine/engine_error.h"
#include "postgres/pg_connection.h"
#include "postgres/served_databases.h"
#include "support/engine_errors.h"

namespace corvane::test {

// Whether the environment names a cluster (pg_virtualenv sets PGHOST and PGPORT).
inline bool PgAvailable() {
  return !qEnvironmentVariableIsEmpty("PGHOST") && !qEnvironmentVariableIsEmpty("PGPORT");
}
inline constexpr const char* kNoCluster =
    "No PostgreSQL cluster: run this suite through tests/postgres/run-with-cluster.sh "
    "(ctest -L postgres does).";
// libpq takes the host, port, user and password from the cluster's environment.
inline QString PgLocation() {
  return QStringLiteral("postgresql:///") + qEnvironmentVariable("PGDATABASE", "postgres");
}
// Runs the statements (separated by ";") on a connection of the test's own.
inline void PgExec(const QString& sql) {
  PgConnection connection(PgLocation(), 30000);
  for (const QString& statement : sql.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    connection.Exec(statement);
  }
}
inline QString PgValue(const QString& sql) {
  PgConnection connection(PgLocation(), 30000);
  const PgResult result = connection.Exec(sql);
  return result.Rows() > 0 && !result.IsNull(0, 0) ? result.Text(0, 0) : QString();
}
inline void PgEmptySchema() {
  PgExec("DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public");
}

// Stops, starts or restarts the throwaway cluster's server; false when that failed or the
// environment names no single cluster version.
inline bool PgCluster(const QString& action) {
  const QString version = qEnvironmentVariable("PGVERSION");
  if (version.isEmpty()) return false;
  QProcess control;
  control.start(QStringLiteral("pg_ctlcluster"), {version, QStringLiteral("regress"), action});
  return control.waitForFinished(120000) && control.exitStatus() == QProcess::NormalExit &&
         control.exitCode() == 0;
}

class PgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PgAvailable()) GTEST_SKIP() << kNoCluster;
    PgEmptySchema();
  }
  static QString Location() { return PgLocation(); }
  static void Exec(const QString& sql) { PgExec(sql); }
  static QString Value(const QString& sql) { return PgValue(sql); }
};

}  // namespace corvane::test
