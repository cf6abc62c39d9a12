#pragma once

// A fresh database for an engine test: a file in a temporary folder, or the emptied schema
// of the throwaway PostgreSQL cluster; set up and inspected outside the engine.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "engine/database.h"
#include "engine/engine_error.h"
#include "engine/recordset.h"
#include "postgres/served_databases.h"
#include "support/engine_errors.h"
#include "support/test_database.h"

namespace corvane::test {

// Edits the current record, or adds one, with these (field, value) pairs and saves it.
inline void EditRecord(Recordset& rs, std::initializer_list<std::pair<int, Variant>> values) {
  rs.Edit();
  for (const auto& [field, value] : values) rs.SetValue(field, value);
  rs.Update();
}
inline void AddRecord(Recordset& rs, std::initializer_list<std::pair<int, Variant>> values) {
  rs.AddNew();
  for (const auto& [field, value] : values) rs.SetValue(field, value);
  rs.Update();
}

class EngineTest : public ::testing::Test {
 protected:
  explicit EngineTest(Engine engine = Engine::kSqlite) : db_(engine, path_) {}

  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    if (!db_.Prepare()) GTEST_SKIP() << kNoCluster;
  }
  bool IsPostgres() const { return db_.IsPostgres(); }
  void Exec(const QString& sql) { db_.Exec(sql); }
  QVariant Query(const QString& sql) { return db_.Query(sql); }
  std::unique_ptr<Database> Open() { return served_.Open(db_.location()); }
  void MakePeople(const QStringList& names) { db_.MakePeople(names, 20); }

  QTemporaryDir dir_;
  QString path_ = dir_.filePath(QStringLiteral("test.db"));  // the file, on SQLite
  TestDatabase db_;
  ServedDatabases served_;
};

// The contract every engine keeps, run on a file and on a server database (instantiated
// with INSTANTIATE_TEST_SUITE_P(Engines, Suite, BothEngines(), EngineName)).
class EngineContractTest : public EngineTest, public ::testing::WithParamInterface<Engine> {
 protected:
  EngineContractTest() : EngineTest(GetParam()) {}
};

}  // namespace corvane::test
