#pragma once

#include <sqlite3.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

namespace corvane {

// Owns one prepared SQLite statement and finalizes it when it goes. Values are only ever
// bound, never written into the SQL. Calls report SQLite's result codes; what they mean
// to the caller (an engine error, a failed store operation) is the caller's to say.
class SqliteStatement {
 public:
  // Whether SQLite copies bound text and blobs or reads the caller's bytes, which must then
  // stay unchanged until the statement is reset or finalized.
  enum class Bytes { kCopied, kBorrowed };

  SqliteStatement() = default;
  ~SqliteStatement() { Finalize(); }
  SqliteStatement(SqliteStatement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // Prepares the first statement of `sql` in place of the one held. SQLITE_OK or SQLite's
  // error code; text of nothing but blanks and comments prepares no statement (valid() is
  // false). `tail`, when given, is set to where the rest of `sql` begins.
  int Prepare(sqlite3* db, QByteArrayView sql, const char** tail = nullptr);
  void Finalize();

  bool valid() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }
  sqlite3* database() const { return stmt_ ? sqlite3_db_handle(stmt_) : nullptr; }
  // Whether the statement leaves the database as it is.
  bool IsReadOnly() const { return sqlite3_stmt_readonly(stmt_) != 0; }

  // Binding, 1-based; each returns SQLite's result code. Empty text and an empty blob stay
  // empty values: only BindNull binds NULL.
  int BindNull(int index) { return sqlite3_bind_null(stmt_, index); }
  int BindInteger(int index, int64_t value) { return sqlite3_bind_int64(stmt_, index, value); }
  int BindReal(int index, double value) { return sqlite3_bind_double(stmt_, index, value); }
  int BindText(int index, QByteArrayView utf8, Bytes bytes = Bytes::kCopied);
  int BindBlob(int index, QByteArrayView data, Bytes bytes = Bytes::kCopied);
  int BindValue(int index, const sqlite3_value* value) {
    return sqlite3_bind_value(stmt_, index, value);
  }

  // Steps once: SQLITE_ROW while a row is available, SQLITE_DONE at the end, else the error.
  int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE; }
  // Ready to run again, with every parameter back to NULL.
  void Reset();

  int ColumnCount() const { return sqlite3_column_count(stmt_); }
  QString ColumnName(int index) const;
  int64_t ColumnInteger(int index) const { return sqlite3_column_int64(stmt_, index); }
  // The column's text or blob bytes; a null QByteArray for NULL.
  QByteArray ColumnBytes(int index) const;
  sqlite3_value* ColumnValue(int index) const { return sqlite3_column_value(stmt_, index); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Whether the text of `sql` after `tail` (where the rest began after its first statement
// was prepared; nullptr for none) holds nothing but blanks, comments and semicolons.
// Anything else counts as a further statement, even text that does not prepare: one
// prepared statement never hides a second one behind it.
bool OnlyBlanksAfter(sqlite3* db, QByteArrayView sql, const char* tail);

}  // namespace corvane
