#pragma once

#include <sqlite3.h>

#include <QString>
#include <memory>
#include <vector>

#include "core/engine/statement.h"

namespace corvane {

class Recordset;

// One open database file: the SQLite handle, the guard that confines client SQL and
// the record sets opened on it. Shared by the Database and its sets, so a set whose
// database was closed finds the handle gone instead of dangling.
class Connection {
 public:
  // Opens an existing file shared and writable; throws EngineError.
  static std::shared_ptr<Connection> Open(const QString& path);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const QString& path() const { return path_; }
  bool isOpen() const { return db_ != nullptr; }
  sqlite3* handle() const;  // throws when closed

  // Closes every set opened on this connection, then the file.
  void Close();

  // The engine's own SQL.
  Statement Prepare(const QString& sql);
  void Execute(const QString& sql);
  // Client SQL (already in SQLite's dialect): exactly one statement that only reads.
  Statement PrepareConfined(const QString& sql);

  void RegisterSet(Recordset* set);
  void UnregisterSet(Recordset* set);
  // Names for the engine's temporary tables of this connection.
  QString NewTempName();

 private:
  explicit Connection(QString path) : path_(std::move(path)) {}
  static int Authorize(void* self, int action, const char*, const char*, const char*, const char*);

  QString path_;
  sqlite3* db_ = nullptr;
  bool confined_ = false;
  std::vector<Recordset*> sets_;
  int tempCounter_ = 0;
};

// Quotes an identifier for SQLite.
QString QuoteName(const QString& name);

}  // namespace corvane
