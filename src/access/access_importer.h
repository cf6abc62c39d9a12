#pragma once

#include <QString>

#include "access/access_import_report.h"
#include "access/saved_query_sql.h"

namespace corvane {

struct AccessImportOutcome {
  bool ok = false;
  QString error;  // names the file; empty when ok
  AccessImportReport report;
};

// Writes the tables, rows, keys, indexes and translatable saved select queries of an
// Access file into a new SQLite database at `target`, in this process. The caller owns
// `target`: on failure it may be half written. ImportAccessDatabase wraps this safely.
AccessImportOutcome ImportAccessFileInProcess(const QString& source, const QString& target,
                                              const JetSqlTranslator& translate);

}  // namespace corvane
