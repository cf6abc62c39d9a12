#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "engine/database.h"
#include "engine/engine_error.h"
#include "support/engine_errors.h"
#include "support/sqlite_files.h"

namespace corvane::test {

// A fresh database file in a temporary folder, set up and inspected with plain SQLite.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  void Exec(const QString& sql) { ExecOnFile(path_, sql); }
  QVariant Query(const QString& sql) { return QueryOnFile(path_, sql); }
  std::unique_ptr<Database> Open() { return OpenDatabase(path_); }
  void MakePeople(const QStringList& names) { test::MakePeople(path_, names, 20); }

  QTemporaryDir dir_;
  QString path_ = dir_.filePath(QStringLiteral("test.db"));
};

}  // namespace corvane::test
