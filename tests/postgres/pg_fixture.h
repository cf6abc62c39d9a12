#pragma once

// A server database in the throwaway cluster that run-with-cluster.sh starts: the public
// schema emptied before each test, set up with plain SQL.

#include <gtest/gtest.h>

#include <QString>

#include "engine/engine_error.h"
#include "postgres/pg_connection.h"
#include "postgres/served_databases.h"
#include "support/engine_errors.h"

namespace corvane::test {

class PgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("PGHOST") || qEnvironmentVariableIsEmpty("PGPORT")) {
      GTEST_SKIP() << "No PostgreSQL cluster: run this suite through "
                      "tests/postgres/run-with-cluster.sh (ctest -L postgres does).";
    }
    Exec("DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public");
  }
  // libpq takes the host, port, user and password from the cluster's environment.
  static QString Location() {
    return QStringLiteral("postgresql:///") + qEnvironmentVariable("PGDATABASE", "postgres");
  }
  // Runs the statements (separated by ";") on a connection of the test's own.
  static void Exec(const QString& sql) {
    PgConnection connection(Location(), 30000);
    for (const QString& statement : sql.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      connection.Exec(statement);
    }
  }
  static QString Value(const QString& sql) {
    PgConnection connection(Location(), 30000);
    const PgResult result = connection.Exec(sql);
    return result.Rows() > 0 && !result.IsNull(0, 0) ? result.Text(0, 0) : QString();
  }
};

}  // namespace corvane::test
