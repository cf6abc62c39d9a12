#include "support/sqlite_files.h"

#include <sqlite3.h>

#include <stdexcept>

namespace corvane::test {

namespace {

sqlite3* OpenFile(const QString& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open test database");
  }
  sqlite3_busy_timeout(db, 1000);
  return db;
}

}  // namespace

void ExecOnFile(const QString& path, const QString& sql) {
  sqlite3* db = OpenFile(path);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("test SQL failed: " + message);
}

QVariant QueryOnFile(const QString& path, const QString& sql) {
  sqlite3* db = OpenFile(path);
  sqlite3_stmt* stmt = nullptr;
  QVariant result;
  if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    switch (sqlite3_column_type(stmt, 0)) {
      case SQLITE_INTEGER:
        result = QVariant::fromValue<qlonglong>(sqlite3_column_int64(stmt, 0));
        break;
      case SQLITE_FLOAT:
        result = sqlite3_column_double(stmt, 0);
        break;
      case SQLITE_TEXT:
        result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        break;
      case SQLITE_BLOB:
        result = QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, 0)),
                            sqlite3_column_bytes(stmt, 0));
        break;
      default:
        break;
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return result;
}

}  // namespace corvane::test
