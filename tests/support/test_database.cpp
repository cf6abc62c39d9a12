#include "support/test_database.h"

#include <QRegularExpression>

#include "base/database_wait_guard.h"
#include "postgres/pg_connection.h"
#include "support/sqlite_files.h"

namespace corvane::test {

namespace {
constexpr int kTestConnectMs = 30000;
}

// The helpers below set up and inspect the cluster from the test's thread, which may be a
// server's loop: between requests, with nobody served meanwhile, that waits on purpose.

bool PgAvailable() {
  return !qEnvironmentVariableIsEmpty("PGHOST") && !qEnvironmentVariableIsEmpty("PGPORT");
}

QString PgLocation() {
  return QStringLiteral("postgresql:///") + qEnvironmentVariable("PGDATABASE", "postgres");
}

QString PgSuperuserLocation() {
  return QStringLiteral("postgresql://%1@/%2")
      .arg(qEnvironmentVariable("PGSUPERUSER", "postgres"),
           qEnvironmentVariable("PGDATABASE", "postgres"));
}

void PgExec(const QString& sql) { PgExecOn(PgLocation(), sql); }

void PgExecOn(const QString& location, const QString& sql) {
  const DatabaseWaitPermit permit;
  PgConnection connection(location, kTestConnectMs);
  for (const QString& statement : sql.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    if (!statement.trimmed().isEmpty()) connection.Exec(statement);
  }
}

QString PgValue(const QString& sql, const QString& location) {
  const DatabaseWaitPermit permit;
  PgConnection connection(location, kTestConnectMs);
  const PgResult result = connection.Exec(sql);
  return result.Rows() > 0 && !result.IsNull(0, 0) ? result.Text(0, 0) : QString();
}

PgSession::PgSession() {
  const DatabaseWaitPermit permit;
  connection_ = std::make_unique<PgConnection>(PgLocation(), kTestConnectMs);
}

PgSession::~PgSession() = default;

void PgSession::Exec(const QString& sql) {
  const DatabaseWaitPermit permit;
  connection_->Exec(sql);
}

void PgEmptySchema() { PgExec("DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public"); }

// A create-table statement in SQLite's words, in PostgreSQL's.
static QString PostgresDdl(const QString& sql) {
  static const std::pair<QRegularExpression, QString> kWords[] = {
      {QRegularExpression("\\bINTEGER PRIMARY KEY( AUTOINCREMENT)?",
                          QRegularExpression::CaseInsensitiveOption),
       "serial PRIMARY KEY"},
      {QRegularExpression("\\bLONG\\b"), "integer"},
      {QRegularExpression("\\bCURRENCY\\b"), "numeric(19,4)"},
      {QRegularExpression("\\bDATETIME\\b"), "timestamp"},
      {QRegularExpression("\\bDOUBLE\\b"), "double precision"},
      {QRegularExpression("\\bYESNO\\b"), "boolean"},
  };
  if (!sql.trimmed().startsWith(QLatin1String("CREATE TABLE"), Qt::CaseInsensitive)) return sql;
  QString text = sql;
  for (const auto& [word, replacement] : kWords) text.replace(word, replacement);
  return text;
}

bool TestDatabase::Prepare() {
  if (!IsPostgres()) return true;
  if (!PgAvailable()) return false;
  PgEmptySchema();
  return true;
}

QString TestDatabase::location() const { return IsPostgres() ? PgLocation() : file_; }

void TestDatabase::Exec(const QString& sql) const {
  if (!IsPostgres()) return ExecOnFile(file_, sql);
  QStringList statements;
  for (const QString& statement : sql.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    statements << PostgresDdl(statement);
  }
  PgExec(statements.join(QLatin1Char(';')));
}

QVariant TestDatabase::Query(const QString& sql) const {
  if (!IsPostgres()) return QueryOnFile(file_, sql);
  const DatabaseWaitPermit permit;
  PgConnection connection(PgLocation(), kTestConnectMs);
  const PgResult result = connection.Exec(sql);
  if (result.Rows() == 0 || result.IsNull(0, 0)) return {};
  return result.Text(0, 0);
}

bool TestDatabase::HasView(const QString& name) const {
  const QString sql = IsPostgres() ? QStringLiteral("SELECT 1 FROM pg_views WHERE viewname = '%1'")
                                   : QStringLiteral(
                                         "SELECT 1 FROM sqlite_master WHERE type = 'view' AND "
                                         "name = '%1'");
  return Query(sql.arg(name)).isValid();
}

void TestDatabase::MakePeople(const QStringList& names, int nameSize) const {
  QString sql = QStringLiteral(
                    "CREATE TABLE people (id INTEGER PRIMARY KEY AUTOINCREMENT, name VARCHAR(%1), "
                    "age SMALLINT);")
                    .arg(nameSize);
  for (qsizetype i = 0; i < names.size(); ++i) {
    sql += QStringLiteral("INSERT INTO people (name, age) VALUES ('%1', %2);")
               .arg(names[i])
               .arg(10 * (i + 1));
  }
  Exec(sql);
}

}  // namespace corvane::test
