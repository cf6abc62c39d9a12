#pragma once

#include <sqlite3.h>

namespace corvane {

// Confines the connection that writes an import to the new database, whatever SQL a saved
// query of the Access file smuggles in: ATTACH and DETACH, every PRAGMA, work on any schema
// but main (temp included) and functions not known to be safe are refused, and the
// connection is configured defensively. Set after the writer's own PRAGMAs.
void GuardImportWriter(sqlite3* db);

}  // namespace corvane
