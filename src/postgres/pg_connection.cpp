#include "postgres/pg_connection.h"

#include <poll.h>

#include <QDateTime>
#include <limits>
#include <thread>

#include "base/database_wait_guard.h"
#include "engine/engine_error.h"

namespace corvane {

namespace {

QString LibpqMessage(PGconn* conn) { return QString::fromUtf8(PQerrorMessage(conn)).trimmed(); }

// The number clients know for a PostgreSQL error class (SQLSTATE).
int32_t ErrorNumber(const QByteArray& state) {
  if (state == "23505") return engine_error::kDuplicateKey;
  if (state == "23502") return engine_error::kRequired;
  if (state == "22001") return engine_error::kFieldTooSmall;
  if (state == "22003") return engine_error::kOverflow;
  if (state.startsWith("22")) return engine_error::kTypeMismatch;
  if (state == "42501") return engine_error::kReadOnly;  // the role may not
  if (state == "42P01") return engine_error::kNoSuchObject;
  if (state == "42703") return engine_error::kUnknownName;
  if (state.startsWith("42")) return engine_error::kSyntaxError;
  if (state == "25006") return engine_error::kReadOnly;
  if (state.startsWith("08")) return engine_error::kConnectionFailed;
  return engine_error::kGeneric;
}

// libpq's form of parameters: texts, or null pointers for Nulls.
std::vector<const char*> Values(const std::vector<PgParam>& params) {
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const PgParam& p : params) values.push_back(p ? p->constData() : nullptr);
  return values;
}
// How many times a borrowed idle connection's socket is read before it counts as open.
constexpr int kIdleReadsChecked = 4;

EngineError Stopped() {
  return EngineError(engine_error::kGeneric,
                     QStringLiteral("The query took too long and was stopped."));
}

constexpr qint64 kMegabyte = 1024 * 1024;

// What a client's statement (or a view it read) may have changed outlives it on the
// connection, which other clients borrow next: a setting (set_config(..., false): the client
// encoding, the search path, the time limit, read-only by default), the role, advisory
// locks. DISCARD ALL goes back to the session as connected, role included, which RESET ALL
// alone does not; it deallocates the prepared statements as well.
constexpr char kSessionReset[] = "DISCARD ALL";

// What a row refused by PgRowsWithinLimit puts into the error the server sends: the text
// of a cast that cannot succeed, since plain SQL has no way to raise an error of its own.
constexpr char kRowTooBig[] = "corvane_row_too_big";

EngineError RowTooBig() {
  return EngineError(engine_error::kGeneric,
                     QStringLiteral("A record of the result is too big: its values take more "
                                    "than %1 MB.")
                         .arg(kValueLengthLimitBytes / kMegabyte));
}

EngineError ResultTooBig() {
  return EngineError(engine_error::kGeneric,
                     QStringLiteral("The result is too big: it would take more than %1 MB of "
                                    "the server's memory.")
                         .arg(kResultMemoryLimitBytes / kMegabyte));
}

// What a result keeps for each value besides its bytes: where it ends, and whether it is
// Null.
constexpr qint64 kValueBookkeepingBytes = sizeof(int) + sizeof(bool);
static_assert(kResultMemoryLimitBytes < std::numeric_limits<int>::max(),
              "a result's values are found by int offsets");

}  // namespace

std::vector<PgParam> PgResult::Row(int row) const {
  std::vector<PgParam> values;
  values.reserve(Columns());
  for (int c = 0; c < Columns(); ++c) values.push_back(Param(row, c));
  return values;
}

bool PgResult::Append(const PGresult* rows, int row) {
  const int columns = PQnfields(rows);
  qint64 size = data_.size() + ends_.size() * kValueBookkeepingBytes;
  for (int c = 0; c < columns; ++c) size += PQgetlength(rows, row, c) + kValueBookkeepingBytes;
  if (size > kResultMemoryLimitBytes) return false;
  for (int c = 0; c < columns; ++c) {
    data_.append(PQgetvalue(rows, row, c), PQgetlength(rows, row, c));
    ends_.append(static_cast<int>(data_.size()));
    nulls_.append(PQgetisnull(rows, row, c));
  }
  ++rows_;
  return true;
}

QByteArray PgResult::ErrorState() const {
  const char* state = head_ ? PQresultErrorField(head_.get(), PG_DIAG_SQLSTATE) : nullptr;
  return QByteArray(state ? state : "");
}

QString PgRowsWithinLimit(const QString& select) {
  // OFFSET 0 keeps the statement a query of its own, so that its values are made once, not
  // again for the row's text.
  return QStringLiteral(
             "SELECT corvane_r.* FROM (SELECT * FROM (%1\n) AS corvane_q OFFSET 0) AS corvane_r "
             "WHERE CASE WHEN octet_length(corvane_r::text) > %2 THEN CAST('%3 ' || "
             "octet_length(corvane_r::text) AS bigint) IS NULL ELSE true END")
      .arg(select, QString::number(kValueLengthLimitBytes), QString::fromLatin1(kRowTooBig));
}

bool PgTooBig(const EngineError& error) {
  return error.number() == engine_error::kGeneric &&
         (error.description() == ResultTooBig().description() ||
          error.description() == RowTooBig().description());
}

bool PgStop::Due() const {
  if (cancel && cancel->load(std::memory_order_relaxed)) return true;
  return deadline != 0 && QDateTime::currentMSecsSinceEpoch() >= deadline;
}

QString PgQuoteName(const QString& name) {
  QString quoted = name;
  quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

PgConnection::PgConnection(const QString& location, int statementTimeoutMs,
                           int connectTimeoutSeconds)
    : conn_(nullptr, &PQfinish), clientWorkLimitMs_(statementTimeoutMs) {
  CORVANE_CHECK_DATABASE_WAIT("Connecting to a server database");
  const QByteArray dbname = location.trimmed().toUtf8();
  const QByteArray timeout = QByteArray::number(connectTimeoutSeconds);
  // The statement limit travels as a startup option, so no statement runs without it; the
  // texts the server writes into statements (regular expressions) read backslashes as
  // themselves, whatever the database's default.
  const QByteArray options = "-c statement_timeout=" + QByteArray::number(statementTimeoutMs) +
                             " -c standard_conforming_strings=on";
  // Settings made at connecting are what DISCARD ALL goes back to after a client's statement.
  const char* keys[] = {"dbname",  "connect_timeout", "application_name",
                        "options", "client_encoding", nullptr};
  const char* values[] = {dbname.constData(),
                          timeout.constData(),
                          "corvane-server",
                          options.constData(),
                          "UTF8",
                          nullptr};
  // expand_dbname: the location is a whole connection text (a URI or service=NAME).
  conn_.reset(PQconnectdbParams(keys, values, 1));
  if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK) {
    const QString message = conn_ ? LibpqMessage(conn_.get()) : QStringLiteral("out of memory");
    throw EngineError(engine_error::kConnectionFailed,
                      QStringLiteral("The server database could not be reached: %1").arg(message));
  }
  PQsetClientEncoding(conn_.get(), "UTF8");
  // Notices (a cascading drop, an implicit index) are not the server's to print.
  PQsetNoticeProcessor(
      conn_.get(), [](void*, const char*) {}, nullptr);
}

bool PgConnection::StillOpen() {
  PGconn* conn = conn_.get();
  // An idle session gets nothing unasked but the server's goodbye (an error, then the end
  // of the stream), which may take two reads to reach the end. The bound keeps a chatty
  // socket from holding the borrower.
  for (int read = 0; read < kIdleReadsChecked && Usable(); ++read) {
    pollfd ready{PQsocket(conn), POLLIN, 0};
    if (::poll(&ready, 1, 0) <= 0) break;
    if (!PQconsumeInput(conn)) return false;
  }
  return Usable();
}

bool PgConnection::IsSuperuser() const {
  const char* superuser = PQparameterStatus(conn_.get(), "is_superuser");
  return superuser && qstrcmp(superuser, "on") == 0;
}

QString PgConnection::LastMessage() const { return LibpqMessage(conn_.get()); }

QString PgConnection::ServerVersion() const {
  const int v = PQserverVersion(conn_.get());
  return QStringLiteral("%1.%2").arg(v / 10000).arg(v % 10000);
}

PgResult PgConnection::Exec(const QString& sql, const std::vector<PgParam>& params) {
  const std::vector<const char*> values = Values(params);
  if (stop_.Due()) throw Stopped();
  return Checked(Run(sql.toUtf8(), values));
}

PgResult PgConnection::ExecPrepared(const QString& sql, const std::vector<PgParam>& params) {
  const std::vector<const char*> values = Values(params);
  if (stop_.Due()) throw Stopped();
  const QByteArray text = sql.toUtf8();
  const QByteArray name = Prepared(text, static_cast<int>(values.size()));
  PgResult result = Run(text, values, name);
  const ExecStatusType status = result.Status();
  if (!name.isEmpty() && status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    prepared_.remove(text);
    if (Usable()) PQclear(PQexec(conn_.get(), ("DEALLOCATE " + name).constData()));
    // A table changed under it (a column's type) makes the plan unusable (0A000): the
    // statement runs again, planned afresh.
    if (result.ErrorState() == "0A000" && Usable()) result = Run(text, values);
  }
  return Checked(std::move(result));
}

QByteArray PgConnection::Prepared(const QByteArray& text, int parameters) {
  if (const auto it = prepared_.constFind(text); it != prepared_.constEnd()) return *it;
  if (prepared_.size() >= kServerPreparedStatements) {
    PQclear(PQexec(conn_.get(), "DEALLOCATE ALL"));
    prepared_.clear();
  }
  const QByteArray name = "corvane_" + QByteArray::number(nextPrepared_++);
  PGconn* conn = conn_.get();
  if (!PQsendPrepare(conn, name.constData(), text.constData(), parameters, nullptr)) return {};
  const bool made = Await().Status() == PGRES_COMMAND_OK;
  // Not prepared (a syntax error, say): the statement runs unprepared and reports it.
  if (!made) return {};
  prepared_.insert(text, name);
  return name;
}

EngineError PgConnection::LostError() const {
  return EngineError(engine_error::kConnectionFailed,
                     QStringLiteral("The connection to the server database was lost: %1")
                         .arg(LibpqMessage(conn_.get())));
}

PgResult PgConnection::Checked(PgResult result) {
  const ExecStatusType status = result.Status();
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
  const QByteArray state = result.ErrorState();
  // A server shutting down ends its sessions with 57P01 (57P02 when it crashed) before the
  // socket closes, so libpq may still call the connection good.
  if (state.startsWith("57P") || state.startsWith("08")) lost_ = true;
  if (!result.head_ || Lost()) throw LostError();
  if (state == "57014") throw Stopped();  // cancelled or timed out
  const QString message =
      QString::fromUtf8(PQresultErrorField(result.head_.get(), PG_DIAG_MESSAGE_PRIMARY));
  if (state == "22P02" && message.contains(QLatin1String(kRowTooBig))) throw RowTooBig();
  throw EngineError(ErrorNumber(state), message);
}

PgResult PgConnection::ExecConfined(const QString& sql, const std::vector<PgParam>& params) {
  const std::vector<const char*> values = Values(params);
  if (stop_.Due()) throw Stopped();
  PGconn* conn = conn_.get();
  // All in one round trip: each command waits on the server, not on the answer to the one
  // before. The session's limit could have been changed by an earlier client statement
  // (set_config), so the statement gets its own, set just before BEGIN: the commands up to
  // a Sync share one statement timer, which BEGIN stops and the statement starts afresh.
  // A failure skips the rest up to the Sync, so the statement never runs outside READ ONLY.
  // ROLLBACK, after a Sync of its own, ends the transaction (and the limit) whether the
  // statement failed or not: it only read. Then the session is reset (kSessionReset).
  const QByteArray limit = "SET statement_timeout = " + QByteArray::number(clientWorkLimitMs_);
  const auto send = [&](const QByteArray& text, const std::vector<const char*>& with = {}) {
    return PQsendQueryParams(conn, text.constData(), static_cast<int>(with.size()), nullptr,
                             with.data(), nullptr, nullptr, 0) == 1;
  };
  const bool sent = PQenterPipelineMode(conn) && send(limit) && send("BEGIN READ ONLY") &&
                    send(sql.toUtf8(), values) && PQpipelineSync(conn) && send("ROLLBACK") &&
                    PQpipelineSync(conn) && send(kSessionReset) && PQpipelineSync(conn);
  // Whatever it held, DISCARD ALL has deallocated or will: the names are not used again.
  prepared_.clear();
  if (!sent) {
    spoiled_ = true;
    throw LostError();
  }
  return AwaitConfined();
}

PgResult PgConnection::AwaitConfined() {
  CORVANE_CHECK_DATABASE_WAIT("Waiting for a server database");
  PGconn* conn = conn_.get();
  // The commands sent, in order; the statement is the third, and three Syncs end them.
  constexpr int kStatement = 2;
  constexpr int kCommands = 5;
  constexpr int kSyncs = 3;
  PgResult result;   // the statement's
  PgResult refused;  // the first command before it that failed
  bool cancelled = false;
  bool tooBig = false;
  bool resetFailed = false;
  qint64 givenUpAt = 0;
  int command = 0;  // whose results come next
  int synced = 0;
  // Past the last command's end only its Sync is left; past that, nothing would come.
  while (synced < kSyncs && command <= kCommands && PQstatus(conn) == CONNECTION_OK) {
    // The statement alone is cancelled; what resets the session must run.
    PGresult* next = NextResult(command <= kStatement, tooBig, cancelled, givenUpAt);
    if (!next) {
      // Row by row, as Run reads, set before anything of the statement is read.
      if (++command == kStatement) PQsetSingleRowMode(conn);
      continue;
    }
    const ExecStatusType status = PQresultStatus(next);
    if (status == PGRES_PIPELINE_SYNC) {
      ++synced;
      PQclear(next);
    } else if (command == kStatement) {
      if (status == PGRES_SINGLE_TUPLE) {
        tooBig = tooBig || !result.Append(next);
        PQclear(next);
      } else if (!result.head_) {
        // Where libpq could not hand the rows over one by one, they came whole.
        for (int r = 0; status == PGRES_TUPLES_OK && r < PQntuples(next) && !tooBig; ++r) {
          tooBig = !result.Append(next, r);
        }
        result.head_.reset(next);
      } else {
        PQclear(next);
      }
    } else if (command < kStatement) {
      if (status != PGRES_COMMAND_OK && status != PGRES_PIPELINE_ABORTED && !refused.head_) {
        refused.head_.reset(next);
      } else {
        PQclear(next);
      }
    } else {
      resetFailed = resetFailed || status != PGRES_COMMAND_OK;
      PQclear(next);
    }
  }
  // Not back to a clean, idle session: the connection is not lent again.
  if (synced < kSyncs || resetFailed || !PQexitPipelineMode(conn)) spoiled_ = true;
  if (tooBig) throw ResultTooBig();
  if (refused.head_) return Checked(std::move(refused));
  return Checked(std::move(result));
}

QString PgConnection::QuoteLiteral(const QString& value) const {
  const QByteArray utf8 = value.toUtf8();
  char* quoted = PQescapeLiteral(conn_.get(), utf8.constData(), utf8.size());
  if (!quoted) {
    throw EngineError(
        engine_error::kSyntaxError,
        QStringLiteral("The text cannot be stored: %1").arg(LibpqMessage(conn_.get())));
  }
  const QString result = QString::fromUtf8(quoted);
  PQfreemem(quoted);
  return result;
}

PgResult PgConnection::Run(const QByteArray& text, const std::vector<const char*>& values,
                           const QByteArray& prepared) {
  PGconn* conn = conn_.get();
  const int count = static_cast<int>(values.size());
  const int sent = prepared.isEmpty() ? PQsendQueryParams(conn, text.constData(), count, nullptr,
                                                          values.data(), nullptr, nullptr, 0)
                                      : PQsendQueryPrepared(conn, prepared.constData(), count,
                                                            values.data(), nullptr, nullptr, 0);
  if (!sent) return {};
  // Row by row, so that a result too big to hold is known before libpq holds it all.
  PQsetSingleRowMode(conn);
  return Await();
}

PgResult PgConnection::Await() {
  CORVANE_CHECK_DATABASE_WAIT("Waiting for a server database");
  PgResult result;
  bool cancelled = false;
  bool tooBig = false;
  qint64 givenUpAt = 0;
  for (;;) {
    PGresult* next = NextResult(true, tooBig, cancelled, givenUpAt);
    if (!next) break;
    if (PQresultStatus(next) == PGRES_SINGLE_TUPLE) {
      // Past the limit the rest is read and dropped, which leaves the connection ready.
      tooBig = tooBig || !result.Append(next);
      PQclear(next);
    } else if (!result.head_) {
      result.head_.reset(next);
    } else {
      PQclear(next);  // one statement gives one result; the rest (none, normally) is drained
    }
  }
  if (tooBig) throw ResultTooBig();
  return result;
}

PGresult* PgConnection::NextResult(bool stoppable, bool tooBig, bool& cancelled,
                                   qint64& givenUpAt) {
  PGconn* conn = conn_.get();
  for (;;) {
    // Looked at for each row too: the rows of a quick statement may all be at hand already.
    if (stoppable && !cancelled && (tooBig || stop_.Due())) {
      Cancel();
      cancelled = true;
    }
    if (cancelled && stop_.Due()) {
      const qint64 now = QDateTime::currentMSecsSinceEpoch();
      if (givenUpAt == 0) givenUpAt = now + kServerCancelWaitMs;
      // The server does not even confirm the cancel: it is paused or cut off. The request
      // gets its answer at its limit; the connection, in an unknown state, is not lent again.
      if (now >= givenUpAt) {
        lost_ = true;
        throw tooBig ? ResultTooBig() : Stopped();
      }
    }
    if (PQisBusy(conn)) {
      pollfd wait{PQsocket(conn), POLLIN, 0};
      ::poll(&wait, 1, kServerStopCheckMs);
      if (PQconsumeInput(conn)) continue;
    }
    return PQgetResult(conn);
  }
}

void PgConnection::Cancel() {
  cancelSent_ = true;
  PGcancel* cancel = PQgetCancel(conn_.get());
  if (!cancel) return;
  // libpq waits for the server to close the cancel request's socket, which a paused server
  // never does: sent from a thread of its own, with a copy of what it needs, it cannot hold
  // up the request that is being stopped.
  std::thread([cancel] {
    char message[256];
    PQcancel(cancel, message, sizeof message);
    PQfreeCancel(cancel);
  }).detach();
}

}  // namespace corvane
