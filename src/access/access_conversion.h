#pragma once

#include <QString>

#include "access/access_import_result.h"
#include "access/saved_query_sql.h"
#include "access/saved_query_translation.h"

namespace corvane {

// Writes the tables, rows, keys, indexes and translatable saved select queries of an
// Access file into a new SQLite database at `target`, in this process; a `target` that
// exists already is left alone and the conversion fails. Saved select
// queries become views through `translate`; one that it refuses, or whose view does not
// open, is skipped and named in the report. The caller owns `target`: on failure it may be
// half written. ImportAccessDatabase runs this in a child process and moves the database
// into place only when it is complete.
// A `target` that is a server database's connection text (IsServerDatabaseLocation) gets
// the same tables, keys, values and views in one transaction instead, their queries
// translated as the server translates its clients' (not by `translate`); see
// OpenPgImportWriter for the database it needs.
AccessImportResult ConvertAccessFile(const QString& source, const QString& target,
                                     const JetSqlTranslator& translate = TranslateSavedQuery);

}  // namespace corvane
