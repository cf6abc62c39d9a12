#include "base/sqlite_database.h"

#include <QFile>

#include "base/sqlite_statement.h"

namespace corvane {

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = other.db_;
    other.db_ = nullptr;
  }
  return *this;
}

int SqliteDatabase::Open(const QString& path, int flags) {
  Close();
  return sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, flags, nullptr);
}

void SqliteDatabase::Close() {
  // The _v2 close waits for statements still held elsewhere instead of failing.
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

int SqliteDatabase::Execute(QByteArrayView sql, QString* error) {
  SqliteStatement stmt;
  const char* tail = nullptr;
  int rc = stmt.Prepare(db_, sql, &tail);
  if (rc == SQLITE_OK && !OnlyBlanksAfter(db_, sql, tail)) {
    if (error) *error = QStringLiteral("only one statement may be run at a time");
    return SQLITE_ERROR;
  }
  if (rc == SQLITE_OK) {
    while ((rc = stmt.Step()) == SQLITE_ROW) {
    }
    // A text of nothing but blanks and comments has no statement to step.
    if (rc == SQLITE_DONE || !stmt.valid()) rc = SQLITE_OK;
  }
  if (rc != SQLITE_OK && error) *error = ErrorMessage();
  return rc;
}

QString SqliteDatabase::ErrorMessage() const {
  return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
}

}  // namespace corvane
