#pragma once

#include <QString>

#include "access/access_import_report.h"
#include "access/saved_query_sql.h"
#include "access/saved_query_translation.h"

namespace corvane {

struct AccessImportResult {
  bool ok = false;
  QString error;  // a sentence naming the file; empty when ok
  AccessImportReport report;
};

// Converts an Access file (.mdb of Jet 3 or 4, .accdb) into the SQLite database
// `target`. The reading runs in a child process, so that a damaged file that upsets the
// reader can never take the server down, and the database is written under a temporary
// name and renamed into place only when complete: a failed import leaves nothing behind
// and an older `target` untouched. The Access file is only read. Saved select queries
// become views through `translate`; one that it refuses, or whose view does not open, is
// skipped and named in the report.
AccessImportResult ImportAccessDatabase(const QString& source, const QString& target,
                                        const JetSqlTranslator& translate = TranslateSavedQuery);

// Why the file cannot be imported before any reading starts (missing, unreadable,
// locked by another program, not an Access database); empty when it looks importable.
QString AccessFileProblem(const QString& source);

}  // namespace corvane
