#pragma once

#include <QString>
#include <memory>

#include "access/import_writer.h"

namespace corvane {

// Connects to the server database at `location` for an import into it. Its search path
// must hold no table or view yet, as a file's import needs a new file: the imported
// tables are never mixed with what the operator keeps there. Everything is written in one
// transaction, so a failed import (or one whose process dies) leaves the database as it
// was. Throws ImportWriteFailure when the database cannot be reached.
std::unique_ptr<ImportWriter> OpenPgImportWriter(const QString& location);

}  // namespace corvane
