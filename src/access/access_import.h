#pragma once

#include <QString>

#include "access/access_import_result.h"
#include "access/conversion_child.h"

namespace corvane {

// Converts an Access file (.mdb of Jet 3 or 4, .accdb) into the SQLite database
// `target`. The conversion runs in a child process (see ConvertInChild), so that a damaged
// file that upsets the reader can never take the server down, and the database is written
// under a temporary name and renamed into place only when complete: a failed import leaves
// nothing behind and an older `target` untouched. The Access file is only read. Saved
// select queries become views through the engine's Jet SQL translation. A `target` that is
// a server database's connection text is imported into that database instead (see
// ConvertAccessFile); one that carries a password is refused.
AccessImportResult ImportAccessDatabase(const QString& source, const QString& target,
                                        const ConversionChild& child = {});

// Why the file cannot be imported before any reading starts (missing, unreadable,
// locked by another program, not an Access database); empty when it looks importable.
QString AccessFileProblem(const QString& source);

}  // namespace corvane
