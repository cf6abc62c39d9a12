#pragma once

// A server database in the throwaway cluster that run-with-cluster.sh starts: the public
// schema emptied before each test, set up with plain SQL.

#include <gtest/gtest.h>

#include <QString>

#include "engine/engine_error.h"
#include "postgres/pg_connection.h"
#include "postgres/served_databases.h"
#include "support/engine_errors.h"
#include "support/test_database.h"

namespace corvane::test {

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
