#include "base/sqlite_database.h"

#include <QFile>

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

int SqliteDatabase::Execute(const QByteArray& sql) {
  return sqlite3_exec(db_, sql.constData(), nullptr, nullptr, nullptr);
}

QString SqliteDatabase::ErrorMessage() const {
  return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
}

}  // namespace corvane
