#pragma once

#include <sqlite3.h>

#include <QString>
#include <atomic>
#include <memory>
#include <vector>

#include "base/sqlite_database.h"
#include "engine/statement.h"
#include "engine/work_limits.h"

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
  bool isOpen() const { return db_.isOpen(); }
  sqlite3* handle() const;  // throws when closed

  // Closes every set opened on this connection, then the file.
  void Close();

  // The engine's own SQL.
  Statement Prepare(const QString& sql);
  void Execute(const QString& sql);
  // Client SQL (already in SQLite's dialect): exactly one statement that only reads.
  Statement PrepareConfined(const QString& sql);
  // Copies the rows of a checked client SELECT into one of the engine's temporary
  // tables: `sql` is INSERT INTO temp.<that table> followed by the SELECT. Nothing
  // else may be written.
  void ExecuteCopy(const QString& sql, const QString& tempTable);

  // While one lives, statements of this connection stop with error 3000 once the time
  // is up: a client's query must not keep a worker thread forever.
  class TimeLimit {
   public:
    explicit TimeLimit(Connection& connection);
    ~TimeLimit();
    TimeLimit(const TimeLimit&) = delete;
    TimeLimit& operator=(const TimeLimit&) = delete;

   private:
    Connection& connection_;
    qint64 previous_;
  };
  void SetClientWorkLimit(int milliseconds) { clientWorkLimitMs_ = milliseconds; }

  // Until it is taken away (0), every statement of this connection stops with error 3000 at
  // its next progress check after this moment (ms since the epoch): the deadline of the
  // client request the connection works for, whatever the request does.
  void SetDeadline(qint64 msSinceEpoch) { requestDeadline_ = msSinceEpoch; }

  // While one lives, neither a time limit nor the cancel flag stops a statement: the
  // engine's own clean-up after an interrupted statement (dropping a query or a temporary
  // table) must run to its end.
  class Unbounded {
   public:
    explicit Unbounded(Connection& connection);
    ~Unbounded();
    Unbounded(const Unbounded&) = delete;
    Unbounded& operator=(const Unbounded&) = delete;

   private:
    Connection& connection_;
    qint64 deadline_;
    qint64 requestDeadline_;
    const std::atomic<bool>* cancel_;
  };

  // Caps the connection's temporary tables (kTempStorageLimitBytes when opened): a write
  // beyond the cap fails as on a full disk. Tests set a small cap.
  void SetTempStorageLimit(qint64 bytes);

  // While the flag is set, every statement of this connection stops with an error at its
  // next step: another thread tells a request that its result is no longer wanted. The
  // flag must outlive its use here; nullptr takes it away.
  void SetCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }

  // While one lives, SQLite may sort in as much memory as its own default allows: it sorts
  // in memory as large as the page cache, which each connection otherwise keeps small.
  class SortMemory {
   public:
    explicit SortMemory(Connection& connection);
    ~SortMemory();
    SortMemory(const SortMemory&) = delete;
    SortMemory& operator=(const SortMemory&) = delete;

   private:
    Connection& connection_;
  };

  void RegisterSet(Recordset* set);
  void UnregisterSet(Recordset* set);
  // Names for the engine's temporary tables of this connection.
  QString NewTempName();

 private:
  explicit Connection(QString path) : path_(std::move(path)) {}
  static int Progress(void* self);
  static int Authorize(void* self, int action, const char*, const char*, const char*, const char*);

  QString path_;
  SqliteDatabase db_;
  enum class Guard { kEngine, kConfined, kCopy };
  Guard guard_ = Guard::kEngine;
  QByteArray copyTarget_;
  std::vector<Recordset*> sets_;
  int tempCounter_ = 0;
  qint64 deadline_ = 0;  // ms since the epoch; 0 when no limit applies
  qint64 requestDeadline_ = 0;
  int clientWorkLimitMs_ = kClientWorkLimitMs;
  const std::atomic<bool>* cancel_ = nullptr;
};

// Quotes an identifier for SQLite.
QString QuoteName(const QString& name);

}  // namespace corvane
