#include "support/sqlite_files.h"

#include <sqlite3.h>

#include <stdexcept>

#include "support/file_bytes.h"
#include "support/test_database.h"

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

QVariant ColumnValue(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
      return {};
    case SQLITE_INTEGER:
      return QVariant::fromValue<qlonglong>(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
      return sqlite3_column_double(stmt, i);
    case SQLITE_BLOB:
      return QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, i)),
                        sqlite3_column_bytes(stmt, i));
    default:
      return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                               sqlite3_column_bytes(stmt, i));
  }
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

std::vector<std::vector<QVariant>> RowsOnFile(const QString& path, const QString& sql,
                                              QString* error) {
  sqlite3* db = OpenFile(path);
  std::vector<std::vector<QVariant>> rows;
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr);
  while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::vector<QVariant> row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) row.push_back(ColumnValue(stmt, i));
    rows.push_back(std::move(row));
    rc = SQLITE_OK;
  }
  if (rc != SQLITE_DONE && error) *error = QString::fromUtf8(sqlite3_errmsg(db));
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

QVariant QueryOnFile(const QString& path, const QString& sql) {
  const auto rows = RowsOnFile(path, sql);
  return rows.empty() || rows.front().empty() ? QVariant() : rows.front().front();
}

void MakePeople(const QString& path, const QStringList& names, int nameSize) {
  TestDatabase(Engine::kSqlite, path).MakePeople(names, nameSize);
}

void MakeSampleDatabase(const QString& path) {
  ExecOnFile(path, QString::fromUtf8(
                       ReadFileBytes(QStringLiteral(CORVANE_SOURCE_DIR "/data/sample.sql"))));
}

}  // namespace corvane::test
