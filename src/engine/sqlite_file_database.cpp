#include "engine/sqlite_file_database.h"

#include "engine/connection.h"
#include "engine/engine_error.h"
#include "engine/jet_sql.h"
#include "engine/select_shape.h"
#include "engine/set_opener.h"
#include "engine/table_info.h"

namespace corvane {

QueryDef SqliteFileDatabase::MakeQueryDef(const QString& name, const QString& sql) const {
  std::shared_ptr<Connection> connection = connection_;
  if (!name.isEmpty()) {
    return QueryDef(name, [connection, name] { return OpenSet(connection, name); });
  }
  return QueryDef(name, [connection, sql] {
    return OpenQuerySet(connection, sql, QLatin1String(Recordset::kTemporaryName));
  });
}

std::unique_ptr<Database> OpenDatabase(const QString& path) {
  return std::make_unique<SqliteFileDatabase>(Connection::Open(path));
}

SqliteFileDatabase::SqliteFileDatabase(std::shared_ptr<Connection> connection)
    : Database(connection->path()), connection_(std::move(connection)) {}

SqliteFileDatabase::~SqliteFileDatabase() { Close(); }

bool SqliteFileDatabase::isOpen() const { return connection_->isOpen(); }

void SqliteFileDatabase::Close() { connection_->Close(); }

void SqliteFileDatabase::SetQueryTimeLimit(int milliseconds) {
  connection_->SetClientWorkLimit(milliseconds);
}

void SqliteFileDatabase::SetCancelFlag(const std::atomic<bool>* cancel) {
  connection_->SetCancelFlag(cancel);
}

void SqliteFileDatabase::SetTempStorageLimit(qint64 bytes) {
  connection_->SetTempStorageLimit(bytes);
}

void SqliteFileDatabase::SetDeadline(qint64 msSinceEpoch) {
  connection_->SetDeadline(msSinceEpoch);
}

std::unique_ptr<Recordset> SqliteFileDatabase::OpenRecordset(const QString& source) {
  connection_->handle();  // throws when closed
  return OpenSet(connection_, source);
}

QueryDef SqliteFileDatabase::CreateQueryDef(const QString& name, const QString& jetSql) {
  connection_->handle();
  CheckClientJetSqlLength(jetSql);
  const QString sql = StripTrailingSemicolons(TranslateJetSql(jetSql));
  // Refuses anything but one reading statement before it is stored.
  connection_->PrepareConfined(sql);
  if (name.isEmpty()) return MakeQueryDef(QString(), sql);
  {
    Statement taken = connection_->Prepare(
        QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = ?1 COLLATE NOCASE"));
    taken.Bind(1, Variant(name));
    if (taken.Step()) {
      throw EngineError(engine_error::kAlreadyExists,
                        QStringLiteral("An object named '%1' already exists.").arg(name));
    }
  }
  connection_->Execute(QStringLiteral("CREATE VIEW %1 AS %2\n").arg(QuoteName(name), sql));
  return MakeQueryDef(name, sql);
}

std::vector<QueryDef> SqliteFileDatabase::QueryDefs() const {
  Statement list = connection_->Prepare(
      QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'view' ORDER BY rowid"));
  std::vector<QueryDef> result;
  while (list.Step()) {
    result.push_back(MakeQueryDef(list.ColumnText(0), ViewSelectText(list.ColumnText(1))));
  }
  return result;
}

QStringList SqliteFileDatabase::QueryFieldNames(const QString& name) const {
  const Statement query =
      connection_->Prepare(QStringLiteral("SELECT * FROM %1").arg(QuoteName(name)));
  QStringList names;
  for (int i = 0; i < query.ColumnCount(); ++i) names << query.ColumnName(i);
  return names;
}

void SqliteFileDatabase::DeleteQueryDef(const QString& name) {
  // Removing a client's query is the clean-up after its work failed, often because its time
  // was up: it must not be stopped in turn.
  const Connection::Unbounded unbounded(*connection_);
  Statement find = connection_->Prepare(QStringLiteral(
      "SELECT name FROM sqlite_master WHERE type = 'view' AND name = ?1 COLLATE NOCASE"));
  find.Bind(1, Variant(name));
  if (!find.Step()) {
    throw EngineError(engine_error::kItemNotFound,
                      QStringLiteral("There is no query named '%1'.").arg(name));
  }
  const QString stored = find.ColumnText(0);
  find.Finalize();
  connection_->Execute(QStringLiteral("DROP VIEW %1").arg(QuoteName(stored)));
}

std::vector<TableDef> SqliteFileDatabase::TableDefs() const {
  Statement list = connection_->Prepare(
      QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid"));
  std::vector<QString> names;
  while (list.Step()) names.push_back(list.ColumnText(0));
  list.Finalize();
  std::vector<TableDef> result;
  for (const QString& name : names) {
    TableDef def;
    def.name = name;
    def.attributes = IsInternalTable(name) ? kSystemTableAttributes : kUserTableAttributes;
    if (const std::optional<TableInfo> info = LoadTableInfo(*connection_, name)) {
      for (const TableInfo::Column& c : info->columns) {
        if (!c.hidden) def.fields.push_back(info->Field(c, c.name));
      }
    }
    result.push_back(std::move(def));
  }
  return result;
}

}  // namespace corvane
