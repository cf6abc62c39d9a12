#include "access/import_guard.h"

#include <QByteArray>

#include "engine/sql_safety.h"

namespace corvane {

namespace {

int AuthorizeImport(void*, int action, const char*, const char* second, const char* database,
                    const char*) {
  switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
    case SQLITE_PRAGMA:
      return SQLITE_DENY;
    case SQLITE_FUNCTION:
      return IsSafeSqlFunction(second) ? SQLITE_OK : SQLITE_DENY;
    default:
      return database && qstrcmp(database, "main") != 0 ? SQLITE_DENY : SQLITE_OK;
  }
}

}  // namespace

void GuardImportWriter(sqlite3* db) {
  ConfigureDefensively(db);
  sqlite3_set_authorizer(db, &AuthorizeImport, nullptr);
}

}  // namespace corvane
