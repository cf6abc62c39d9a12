#include "base/sqlite_statement.h"

namespace corvane {

namespace {

// SQLite binds NULL for a null pointer, which an empty view may carry.
const char* NonNull(QByteArrayView bytes) {
  static const char kEmpty = 0;
  return bytes.data() ? bytes.data() : &kEmpty;
}

sqlite3_destructor_type Lifetime(SqliteStatement::Bytes bytes) {
  return bytes == SqliteStatement::Bytes::kCopied ? SQLITE_TRANSIENT : SQLITE_STATIC;
}

}  // namespace

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    Finalize();
    stmt_ = other.stmt_;
    other.stmt_ = nullptr;
  }
  return *this;
}

int SqliteStatement::Prepare(sqlite3* db, QByteArrayView sql, const char** tail) {
  Finalize();
  return sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, tail);
}

void SqliteStatement::Finalize() {
  if (stmt_) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
}

int SqliteStatement::BindText(int index, QByteArrayView utf8, Bytes bytes) {
  return sqlite3_bind_text64(stmt_, index, NonNull(utf8), static_cast<sqlite3_uint64>(utf8.size()),
                             Lifetime(bytes), SQLITE_UTF8);
}

int SqliteStatement::BindBlob(int index, QByteArrayView data, Bytes bytes) {
  return sqlite3_bind_blob64(stmt_, index, NonNull(data), static_cast<sqlite3_uint64>(data.size()),
                             Lifetime(bytes));
}

void SqliteStatement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

QString SqliteStatement::ColumnName(int index) const {
  return QString::fromUtf8(sqlite3_column_name(stmt_, index));
}

bool OnlyBlanksAfter(sqlite3* db, QByteArrayView sql, const char* tail) {
  const char* const end = sql.data() + sql.size();
  const char* at = tail;
  while (at && at < end) {
    // Preparing skips blanks, comments and semicolons and makes no statement of them.
    SqliteStatement next;
    const char* rest = nullptr;
    if (next.Prepare(db, QByteArrayView(at, end - at), &rest) != SQLITE_OK || next.valid())
      return false;
    if (rest == at) break;
    at = rest;
  }
  return true;
}

QByteArray SqliteStatement::ColumnBytes(int index) const {
  // The type before any conversion; SQLite gives no pointer for an empty value, which must
  // still differ from NULL.
  if (sqlite3_column_type(stmt_, index) == SQLITE_NULL) return QByteArray();
  const void* data = sqlite3_column_blob(stmt_, index);
  const int size = sqlite3_column_bytes(stmt_, index);
  return size > 0 ? QByteArray(static_cast<const char*>(data), size) : QByteArray("", 0);
}

}  // namespace corvane
