#pragma once

#include <QString>
#include <memory>

#include "access/import_writer.h"
#include "access/saved_query_sql.h"

namespace corvane {

// Opens the new, empty SQLite file at `path` for an import; saved queries are translated
// by `translate`. Throws ImportWriteFailure when the file cannot be opened.
std::unique_ptr<ImportWriter> OpenSqliteImportWriter(const QString& path,
                                                     JetSqlTranslator translate);

}  // namespace corvane
