#pragma once

#include <libpq-fe.h>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "engine/work_limits.h"

namespace corvane {

class EngineError;

class EngineError;

// How long connecting to a server database may take, in seconds (libpq's connect_timeout).
inline constexpr int kServerConnectTimeoutSeconds = 10;

// How often a running statement looks whether its request is still wanted.
inline constexpr int kServerStopCheckMs = 100;
// How long a statement whose request was stopped waits for the server to confirm it: one
// that does not (paused, or cut off) is given up with its connection.
inline constexpr int kServerCancelWaitMs = 1000;
// Statements a connection keeps parsed and planned (ExecPrepared); past it, they start over.
inline constexpr int kServerPreparedStatements = 32;

// What stops the statements of a request early: its cancel flag (set by another thread when
// the result is no longer wanted) and its deadline (ms since the epoch; 0: none).
struct PgStop {
  const std::atomic<bool>* cancel = nullptr;
  qint64 deadline = 0;
  bool Due() const;
};

// One statement parameter in PostgreSQL's text form; no value is NULL.
using PgParam = std::optional<QByteArray>;

// The result of one statement. Its rows arrive one at a time and are kept here, packed
// (a value's bytes and where they end), so that what it holds can be counted as they come.
class PgResult {
 public:
  int Rows() const { return rows_; }
  int Columns() const { return PQnfields(head_.get()); }
  bool IsNull(int row, int column) const { return nulls_[At(row, column)]; }
  // The value's text (empty for NULL).
  QByteArray Bytes(int row, int column) const {
    const qsizetype at = At(row, column);
    const int start = at == 0 ? 0 : ends_[at - 1];
    return data_.mid(start, ends_[at] - start);
  }
  QString Text(int row, int column) const { return QString::fromUtf8(Bytes(row, column)); }
  PgParam Param(int row, int column) const {
    if (IsNull(row, column)) return std::nullopt;
    return Bytes(row, column);
  }
  std::vector<PgParam> Row(int row) const;
  QString ColumnName(int column) const { return QString::fromUtf8(PQfname(head_.get(), column)); }
  Oid ColumnType(int column) const { return PQftype(head_.get(), column); }
  int ColumnModifier(int column) const { return PQfmod(head_.get(), column); }
  // The number of rows an UPDATE, DELETE or INSERT touched.
  int Affected() const { return QByteArray(PQcmdTuples(head_.get())).toInt(); }

 private:
  friend class PgConnection;
  qsizetype At(int row, int column) const { return qsizetype{row} * Columns() + column; }
  // Keeps a row of `rows` (a single-row result's only one by default); false, keeping
  // nothing, when it would take the result past kResultMemoryLimitBytes.
  bool Append(const PGresult* rows, int row = 0);
  ExecStatusType Status() const { return head_ ? PQresultStatus(head_.get()) : PGRES_FATAL_ERROR; }
  QByteArray ErrorState() const;  // SQLSTATE; empty without one

  // The statement's last result: the columns, the status (or the error), the command tag.
  std::unique_ptr<PGresult, void (*)(PGresult*)> head_{nullptr, &PQclear};
  QByteArray data_;  // the values' bytes, one after the other
  QList<int> ends_;  // where each value ends in data_, row by row
  QList<bool> nulls_;
  int rows_ = 0;
};

// One connection to a server database, used by one thread at a time. Every statement is
// held to statement_timeout; errors become EngineErrors with the numbers clients know.
class PgConnection {
 public:
  // Connects (within `connectTimeoutSeconds`; libpq counts at least 2) to a libpq URI or
  // "service=NAME"; throws EngineError 3151 with libpq's message when the server does not
  // answer.
  PgConnection(const QString& location, int statementTimeoutMs,
               int connectTimeoutSeconds = kServerConnectTimeoutSeconds);
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // False once the connection to the server is lost, or when its session could not be
  // reset after a client's statement: it is not lent again.
  bool Usable() const { return !spoiled_ && !cancelSent_ && !Lost(); }
  // Not lent again only because a cancel was sent on it: dropped without a word, as nothing
  // went wrong with the server.
  bool Retired() const { return cancelSent_ && !spoiled_ && !Lost(); }
  // Whether the connection broke or the server ended its session (shut down, restarted,
  // or a statement was given up on it), as opposed to a statement that failed: what was
  // only read may be read again on a new connection.
  bool Lost() const { return lost_ || PQstatus(conn_.get()) != CONNECTION_OK; }
  // Whether the role connected as is a superuser (as the server reported at connecting).
  bool IsSuperuser() const;
  // For an idle connection: false when the server has closed it meanwhile (restarted,
  // or ended the session). Reads what the socket holds; sends nothing.
  bool StillOpen();
  // libpq's last message on this connection.
  QString LastMessage() const;
  QString ServerVersion() const;

  // One statement with its parameters in text form; throws EngineError. The statement
  // runs while this thread waits on the socket, and is cancelled on the server once `stop`
  // is due (error 3000).
  PgResult Exec(const QString& sql, const std::vector<PgParam>& params = {});
  // The same for the server's own statements that come again and again (reading a record
  // by its key): PostgreSQL parses and plans each once on this connection.
  PgResult ExecPrepared(const QString& sql, const std::vector<PgParam>& params);
  // A client's statement (one SELECT, as sent by the server) or a read of a view: run in a
  // READ ONLY transaction held to the client work limit, whatever the session's settings
  // have become, with the session reset after it; all sent at once, in one round trip.
  PgResult ExecConfined(const QString& sql, const std::vector<PgParam>& params);
  // A value as a quoted literal, for a statement that is stored (a view) and so cannot
  // take parameters.
  QString QuoteLiteral(const QString& value) const;
  // The request this connection works for; {} when it goes back to the pool.
  void SetStop(PgStop stop) { stop_ = stop; }
  // The statement_timeout of a client's statement (ExecConfined).
  void SetClientWorkLimit(int milliseconds) { clientWorkLimitMs_ = milliseconds; }

 private:
  // Sends the statement (by its prepared name when `prepared` is set) and waits for it.
  PgResult Run(const QByteArray& text, const std::vector<const char*>& values,
               const QByteArray& prepared = {});
  // The statement's result, its rows taken one by one; past kResultMemoryLimitBytes the
  // statement is cancelled, the rest of its rows are read and dropped, and EngineError
  // follows.
  PgResult Await();
  // libpq's next result (nullptr once a statement's are all read), waited for in steps of
  // kServerStopCheckMs; while `stoppable`, the running statement is cancelled once `stop`
  // is due or its result is `tooBig`; a cancel the server leaves unconfirmed for
  // kServerCancelWaitMs past `stop` gives the connection up (`givenUpAt` keeps that time).
  PGresult* NextResult(bool stoppable, bool tooBig, bool& cancelled, qint64& givenUpAt);
  // Asks the server to stop the running statement; its error result follows.
  void Cancel();
  // ExecConfined's results up to its last Sync: the statement's kept row by row (stopped
  // like Await's), the rest only checked; a session not reset spoils the connection.
  PgResult AwaitConfined();
  PgResult Checked(PgResult result);
  EngineError LostError() const;
  // The prepared name of `text`, preparing it first when needed; empty when it fails.
  QByteArray Prepared(const QByteArray& text, int parameters);

  std::unique_ptr<PGconn, void (*)(PGconn*)> conn_;
  PgStop stop_;
  int clientWorkLimitMs_;
  QHash<QByteArray, QByteArray> prepared_;  // statement text -> name
  int64_t nextPrepared_ = 0;
  bool spoiled_ = false;  // the session could not be reset
  bool lost_ = false;     // the server ended the session, or it was given up
  // A cancel reaches the server on a connection of its own, whenever it gets there: one that
  // arrives after its statement ended stops the next statement on this session instead.
  bool cancelSent_ = false;
};

// `select` with each row whose text is longer than kValueLengthLimitBytes refused on the
// server (EngineError): libpq takes in a whole row before it hands it over, so a row too big
// for the server's memory must not be sent at all. For statements that read values a client
// chose or another program stored; a table's keys are small by nature.
QString PgRowsWithinLimit(const QString& select);
// Whether `error` refused a record of PgRowsWithinLimit or a result that would have taken
// more than kResultMemoryLimitBytes.
bool PgTooBig(const EngineError& error);

// Quotes an identifier for PostgreSQL.
QString PgQuoteName(const QString& name);

}  // namespace corvane
