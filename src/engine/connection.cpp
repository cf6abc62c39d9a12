#include "engine/connection.h"

#include <QDateTime>
#include <QFileInfo>
#include <algorithm>

#include "base/database_wait_guard.h"
#include "engine/jet_functions.h"
#include "engine/recordset.h"
#include "engine/sql_safety.h"
#include "engine/sqlite_error.h"

namespace corvane {

namespace {

// How long a writer waits for another connection's write to end. Requests run on worker
// threads, so waiting holds up only the client that writes.
constexpr int kBusyTimeoutMs = 5000;
constexpr int kPageCacheKiB = 256;
constexpr int kSortMemoryKiB = 2000;  // SQLite's default cache size

void SetCacheKiB(SqliteDatabase& db, int kib) {
  db.Execute("PRAGMA cache_size=" + QByteArray::number(-kib));
}

// Text after the first statement other than blanks, comments and semicolons is refused,
// whether or not it would prepare: nothing hides behind a statement.
void RefuseSecondStatement(sqlite3* db, QByteArrayView text, const char* tail) {
  if (!OnlyBlanksAfter(db, text, tail)) {
    throw EngineError(engine_error::kReadOnly,
                      QStringLiteral("Only one statement is allowed here."));
  }
}

}  // namespace

QString QuoteName(const QString& name) {
  QString quoted = name;
  quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

std::shared_ptr<Connection> Connection::Open(const QString& path) {
  CORVANE_CHECK_DATABASE_WAIT("Opening a database file");
  const QFileInfo info(path);
  if (path.isEmpty() || !info.exists() || !info.isFile()) {
    throw EngineError(engine_error::kFileNotFound,
                      QStringLiteral("The file '%1' was not found.").arg(path));
  }
  std::shared_ptr<Connection> c(new Connection(path));
  // A connection is used by one thread at a time, so its own mutex is not needed.
  const int rc = c->db_.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
  if (rc != SQLITE_OK) {
    EngineError error = SqliteError(c->db_.get(), rc);
    c->db_.Close();
    throw error;
  }
  sqlite3* db = c->db_.get();
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  try {
    // Reading the catalogue proves the file is a database before anything else.
    c->Execute(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    try {
      c->Execute(QStringLiteral("PRAGMA journal_mode=WAL"));
    } catch (const EngineError& e) {
      // A write-protected file stays readable in its own journal mode.
      if (e.number() != engine_error::kReadOnly) throw;
    }
    c->Execute(QStringLiteral("PRAGMA synchronous=FULL"));
    c->Execute(QStringLiteral("PRAGMA foreign_keys=ON"));
    // Every client has a connection of its own: a smaller page cache than SQLite's 2 MiB
    // keeps a hundred of them small. The operating system caches the file anyway.
    SetCacheKiB(c->db_, kPageCacheKiB);
    // A client's query must not build values or fill temporary tables without bound: a
    // text of 200 MB, or copied rows until the disk is full.
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kValueLengthLimitBytes);
    c->SetTempStorageLimit(kTempStorageLimitBytes);
    RegisterJetFunctions(db);
  } catch (...) {
    c->Close();
    throw;
  }
  ConfigureDefensively(db);
  sqlite3_set_authorizer(db, &Connection::Authorize, c.get());
  sqlite3_progress_handler(db, 10000, &Connection::Progress, c.get());
  return c;
}

Connection::~Connection() { Close(); }

sqlite3* Connection::handle() const {
  if (!db_.isOpen()) {
    throw EngineError(engine_error::kClosed, QStringLiteral("The database is closed."));
  }
  return db_.get();
}

void Connection::Close() {
  // The last connection's close checkpoints the file.
  if (db_.isOpen()) CORVANE_CHECK_DATABASE_WAIT("Closing a database file");
  // Closing a set unregisters it, so work on a copy.
  const std::vector<Recordset*> sets = sets_;
  for (Recordset* set : sets) set->Close();
  sets_.clear();
  db_.Close();
}

Statement Connection::Prepare(const QString& sql) {
  // Preparing reads the schema, behind another program's lock if need be.
  CORVANE_CHECK_DATABASE_WAIT("Preparing a statement");
  sqlite3* db = handle();
  const QByteArray text = sql.toUtf8();
  SqliteStatement stmt;
  const char* tail = nullptr;
  const int rc = stmt.Prepare(db, text, &tail);
  if (rc != SQLITE_OK) throw SqliteError(db, rc);
  // The engine's statements carry client text (a sort order, a select list).
  RefuseSecondStatement(db, text, tail);
  return Statement(std::move(stmt));
}

void Connection::Execute(const QString& sql) {
  Statement stmt = Prepare(sql);
  while (stmt.Step()) {
  }
}

Statement Connection::PrepareConfined(const QString& sql) {
  CORVANE_CHECK_DATABASE_WAIT("Preparing a client statement");
  sqlite3* db = handle();
  const QByteArray text = sql.toUtf8();
  SqliteStatement first;
  const char* tail = nullptr;
  guard_ = Guard::kConfined;
  const int rc = first.Prepare(db, text, &tail);
  Statement result(std::move(first));
  try {
    if (rc == SQLITE_OK) RefuseSecondStatement(db, text, tail);
  } catch (...) {
    guard_ = Guard::kEngine;
    throw;
  }
  guard_ = Guard::kEngine;
  if (rc != SQLITE_OK) throw SqliteError(db, rc);
  if (!result.valid()) {
    throw EngineError(engine_error::kSyntaxError,
                      QStringLiteral("Syntax error in expression (the text is empty)."));
  }
  if (!result.sqlite().IsReadOnly() || result.ColumnCount() == 0) {
    throw EngineError(engine_error::kReadOnly, QStringLiteral("The statement is not "
                                                              "allowed here: a query "
                                                              "may only read."));
  }
  return result;
}

void Connection::ExecuteCopy(const QString& sql, const QString& tempTable) {
  copyTarget_ = tempTable.toUtf8();
  guard_ = Guard::kCopy;
  try {
    Statement stmt = Prepare(sql);
    guard_ = Guard::kEngine;
    while (stmt.Step()) {
    }
  } catch (...) {
    guard_ = Guard::kEngine;
    throw;
  }
}

int Connection::Authorize(void* self, int action, const char* first, const char* second,
                          const char* database, const char*) {
  const auto* c = static_cast<const Connection*>(self);
  // Client text reaches the engine's own statements too (a sort, the select list of a set
  // read by key), so the functions are checked whoever prepares.
  if (action == SQLITE_FUNCTION) return IsSafeSqlFunction(second) ? SQLITE_OK : SQLITE_DENY;
  if (c->guard_ == Guard::kEngine) return SQLITE_OK;
  if (c->guard_ == Guard::kCopy && action == SQLITE_INSERT && first && database &&
      qstrcmp(database, "temp") == 0 && c->copyTarget_ == first)
    return SQLITE_OK;
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    default:
      return SQLITE_DENY;
  }
}

Connection::TimeLimit::TimeLimit(Connection& connection)
    : connection_(connection), previous_(connection.deadline_) {
  const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + connection.clientWorkLimitMs_;
  if (previous_ == 0 || deadline < previous_) connection_.deadline_ = deadline;
}

Connection::TimeLimit::~TimeLimit() { connection_.deadline_ = previous_; }

int Connection::Progress(void* self) {
  auto* c = static_cast<Connection*>(self);
  if (c->cancel_ && c->cancel_->load(std::memory_order_relaxed)) return 1;
  if (c->deadline_ == 0 && c->requestDeadline_ == 0) return 0;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  const bool late = (c->deadline_ != 0 && now >= c->deadline_) ||
                    (c->requestDeadline_ != 0 && now >= c->requestDeadline_);
  return late ? 1 : 0;
}

Connection::Unbounded::Unbounded(Connection& connection)
    : connection_(connection),
      deadline_(connection.deadline_),
      requestDeadline_(connection.requestDeadline_),
      cancel_(connection.cancel_) {
  connection_.deadline_ = 0;
  connection_.requestDeadline_ = 0;
  connection_.cancel_ = nullptr;
}

Connection::Unbounded::~Unbounded() {
  connection_.deadline_ = deadline_;
  connection_.requestDeadline_ = requestDeadline_;
  connection_.cancel_ = cancel_;
}

void Connection::SetTempStorageLimit(qint64 bytes) {
  Statement pageSize = Prepare(QStringLiteral("PRAGMA temp.page_size"));
  const qint64 page = pageSize.Step() ? std::max<qint64>(pageSize.ColumnInteger(0), 512) : 4096;
  pageSize.Finalize();
  Execute(QStringLiteral("PRAGMA temp.max_page_count = %1").arg(std::max<qint64>(bytes / page, 1)));
}

Connection::SortMemory::SortMemory(Connection& connection) : connection_(connection) {
  if (connection_.db_.isOpen()) SetCacheKiB(connection_.db_, kSortMemoryKiB);
}

Connection::SortMemory::~SortMemory() {
  if (connection_.db_.isOpen()) SetCacheKiB(connection_.db_, kPageCacheKiB);
}

void Connection::RegisterSet(Recordset* set) { sets_.push_back(set); }

void Connection::UnregisterSet(Recordset* set) { std::erase(sets_, set); }

QString Connection::NewTempName() { return QStringLiteral("corvane_set_%1").arg(++tempCounter_); }

}  // namespace corvane
