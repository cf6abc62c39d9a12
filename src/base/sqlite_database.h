#pragma once

#include <sqlite3.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace corvane {

// Owns one SQLite connection and closes it when it goes. Statements prepared on it are
// SqliteStatements; a connection closed while one is still held is freed with the last of
// them.
class SqliteDatabase {
 public:
  SqliteDatabase() = default;
  ~SqliteDatabase() { Close(); }
  SqliteDatabase(SqliteDatabase&& other) noexcept : db_(other.db_) { other.db_ = nullptr; }
  SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // Opens the file at `path` with sqlite3_open_v2's `flags`, in place of the one held.
  // SQLITE_OK or SQLite's error code; after a failure the handle, when SQLite made one,
  // stays until Close() so that ErrorMessage() can say what went wrong.
  int Open(const QString& path, int flags);
  void Close();

  bool isOpen() const { return db_ != nullptr; }
  sqlite3* get() const { return db_; }

  // Runs the one statement of `sql`, which binds nothing; blanks, comments and semicolons
  // may follow it. SQLITE_OK or the error's code, with the message in `error` when given.
  // A text holding a second statement is refused (SQLITE_ERROR) before anything runs.
  int Execute(QByteArrayView sql, QString* error = nullptr);
  // SQLite's message for the last failure on this connection.
  QString ErrorMessage() const;

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace corvane
