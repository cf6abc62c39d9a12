#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "access/access_file.h"
#include "access/access_import_report.h"

namespace corvane {

// The kind of database an import writes.
enum class ImportDialect { kSqlite, kPostgres };

// How one Access table becomes a table of the target database.
struct AccessTablePlan {
  QString createTable;
  QString insertInto;         // "INSERT INTO table (columns)"
  QString insert;             // insertInto with one parameter per imported column
  std::vector<int> columns;   // imported columns, positions in the definition
  QStringList afterRows;      // run once the rows are in, before the indexes
  QStringList createIndexes;  // run after the rows are in
  QStringList indexNames;     // the Access name of each entry of createIndexes
  std::vector<AccessImportReport::Skipped> skipped;
};

// A name in double quotes, as SQLite and PostgreSQL both read it.
QString SqlName(const QString& name);

// The declared type that the engine reads back as the column's field type.
QString DeclaredType(const AccessColumn& column, ImportDialect dialect = ImportDialect::kSqlite);

// Plans the table. `indexNames` holds the index names already used in the database;
// the new ones are added to it. Both dialects get the same columns, keys and indexes.
AccessTablePlan PlanTable(const AccessTableDef& table, QStringList& indexNames,
                          ImportDialect dialect = ImportDialect::kSqlite);

}  // namespace corvane
