#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "access/access_file.h"
#include "access/access_import_report.h"

namespace corvane {

// How one Access table becomes an SQLite table.
struct AccessTablePlan {
  QString createTable;
  QString insert;             // with one parameter per imported column
  std::vector<int> columns;   // imported columns, positions in the definition
  QStringList createIndexes;  // run after the rows are in
  QStringList indexNames;     // the Access name of each entry of createIndexes
  std::vector<AccessImportReport::Skipped> skipped;
};

// A name in SQLite's double quotes.
QString SqlName(const QString& name);

// The declared type that the engine reads back as the column's field type.
QString DeclaredType(const AccessColumn& column);

// Plans the table. `indexNames` holds the index names already used in the database;
// the new ones are added to it.
AccessTablePlan PlanTable(const AccessTableDef& table, QStringList& indexNames);

}  // namespace corvane
