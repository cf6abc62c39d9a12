#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "access/access_file.h"
#include "access/access_table_plan.h"

namespace corvane {

// Why the target database stopped taking the import; the whole import fails with it.
class ImportWriteFailure {
 public:
  explicit ImportWriteFailure(QString message) : message(std::move(message)) {}
  QString message;
};

// Writes the rows of one planned table, numbered from 1 in the order they are given.
class ImportRowWriter {
 public:
  virtual ~ImportRowWriter() = default;
  // Writes one row (one value per column of the Access definition), or keeps it to be
  // written with the next ones; false with *error ("row N: why") when the database
  // refuses it or one kept before it.
  virtual bool Write(const std::vector<AccessValue>& row, QString* error) = 0;
  // Writes the rows still kept; false with *error as Write.
  virtual bool Finish(QString*) { return true; }
};

// The database an Access file is imported into. Everything is written in one transaction
// (Begin .. Commit). Calls that "try" may fail without spoiling what is written so far:
// they return the database's message, empty when they succeeded. The others throw
// ImportWriteFailure.
class ImportWriter {
 public:
  virtual ~ImportWriter() = default;
  virtual ImportDialect dialect() const = 0;
  virtual void Begin() = 0;
  virtual void Commit() = 0;
  // Why a table of this name cannot be imported; empty when it can.
  virtual QString ReservedNameReason(const QString& table) const = 0;
  virtual QString TryExecute(const QString& sql) = 0;
  // Around the creation and rows of one table: EndTable(false) takes the table away again.
  virtual void BeginTable() = 0;
  virtual void EndTable(const QString& name, bool keep) = 0;
  // nullptr and *error when the plan's insert is refused.
  virtual std::unique_ptr<ImportRowWriter> PrepareInsert(const AccessTableDef& table,
                                                         const AccessTablePlan& plan,
                                                         QString* error) = 0;
  // A saved query's Jet SQL in the database's own dialect; nullopt when it cannot be.
  virtual std::optional<QString> Translate(const QString& jetSql) = 0;
  // Whether more than blanks and comments follows the first statement of `sql`.
  virtual bool HoldsMoreThanOneStatement(const QString& sql) = 0;
  // Whether a reading statement runs and gives its first row (or none) without error.
  virtual bool Opens(const QString& sql, QString* error) = 0;
};

// Imports the Access file's user tables, their rows, keys and indexes, and the saved select
// queries (as views) into `writer`, naming in `report` what was imported and what was not.
void ImportIntoWriter(const AccessFile& file, ImportWriter& writer, AccessImportReport& report);

}  // namespace corvane
