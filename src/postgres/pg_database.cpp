#include "postgres/pg_database.h"

#include <optional>

#include "engine/engine_error.h"
#include "engine/set_opener.h"
#include "postgres/pg_recordset.h"
#include "postgres/pg_shared.h"
#include "postgres/pg_types.h"

namespace corvane {

namespace {

std::vector<PgColumn> Columns(PgConnection& connection, const QString& relation) {
  const PgResult result = connection.Exec(
      QStringLiteral(
          "SELECT a.attname, format_type(a.atttypid, a.atttypmod), a.attnotnull, a.atthasdef, "
          "a.attidentity <> '' OR coalesce(pg_get_expr(d.adbin, d.adrelid) LIKE 'nextval(%', "
          "false) FROM pg_attribute a LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND "
          "d.adnum = a.attnum WHERE a.attrelid = $1::regclass AND a.attnum > 0 AND NOT "
          "a.attisdropped ORDER BY a.attnum"),
      {PgQuoteName(relation).toUtf8()});
  std::vector<PgColumn> columns;
  for (int r = 0; r < result.Rows(); ++r) {
    columns.push_back({result.Text(r, 0), result.Text(r, 1), result.Bytes(r, 2) == "t",
                       result.Bytes(r, 3) == "t", result.Bytes(r, 4) == "t"});
  }
  return columns;
}

QStringList PrimaryKey(PgConnection& connection, const QString& table) {
  const PgResult result = connection.Exec(
      QStringLiteral("SELECT a.attname FROM pg_index i CROSS JOIN LATERAL unnest(i.indkey) "
                     "WITH ORDINALITY k(attnum, pos) JOIN pg_attribute a ON a.attrelid = "
                     "i.indrelid AND a.attnum = k.attnum WHERE i.indrelid = $1::regclass AND "
                     "i.indisprimary ORDER BY k.pos"),
      {PgQuoteName(table).toUtf8()});
  QStringList key;
  for (int r = 0; r < result.Rows(); ++r) key << result.Text(r, 0);
  return key;
}

struct Relation {
  QString name;
  bool view = false;
};

std::vector<Relation> Relations(PgConnection& connection) {
  // The search path's own schemas (current_schemas(false) leaves out pg_catalog), in
  // path order, each in creation order.
  const PgResult result = connection.Exec(QStringLiteral(
      "SELECT c.relname, c.relkind = 'v' FROM pg_class c JOIN pg_namespace n ON n.oid = "
      "c.relnamespace JOIN unnest(current_schemas(false)) WITH ORDINALITY s(name, pos) ON "
      "s.name = n.nspname WHERE c.relkind IN ('r', 'p', 'v') ORDER BY s.pos, c.oid"));
  std::vector<Relation> relations;
  for (int r = 0; r < result.Rows(); ++r) {
    relations.push_back({result.Text(r, 0), result.Bytes(r, 1) == "t"});
  }
  return relations;
}

// A table or view by name, in any case; 3078 when there is none.
std::unique_ptr<Recordset> OpenNamedSet(const std::shared_ptr<PgShared>& shared,
                                        const QString& name) {
  PgPool::Lease connection = shared->Borrow();
  std::optional<Relation> found;
  for (const Relation& relation : Relations(*connection)) {
    if (relation.name.compare(name, Qt::CaseInsensitive) == 0) {
      found = relation;
      break;
    }
  }
  if (!found) {
    throw EngineError(engine_error::kNoSuchObject,
                      QStringLiteral("The object '%1' was not found.").arg(name));
  }
  PgSetSource source;
  source.table = found->name;
  std::vector<FieldInfo> fields;
  for (const PgColumn& column : Columns(*connection, found->name)) {
    source.columns << column.name;
    fields.push_back(PgField(column, found->name));
  }
  if (!found->view) source.keyColumns = PrimaryKey(*connection, found->name);
  return std::make_unique<PgRecordset>(shared, *connection, found->name, std::move(source),
                                       std::move(fields));
}

[[noreturn]] void NotYet(const QString& what) {
  throw EngineError(engine_error::kNotSupported,
                    QStringLiteral("%1 is not available for server databases yet.").arg(what));
}

}  // namespace

PgDatabase::PgDatabase(std::shared_ptr<PgPool> pool)
    : Database(pool->location()), shared_(std::make_shared<PgShared>()) {
  shared_->pool = std::move(pool);
  // Opening proves the server answers, as opening a file proves it is there.
  PgPool::Lease connection = shared_->Borrow();
}

PgDatabase::~PgDatabase() { Close(); }

bool PgDatabase::isOpen() const { return shared_->open; }

void PgDatabase::Close() {
  if (!shared_->open) return;
  // Closing a set takes it off the list, so work on a copy.
  const std::vector<Recordset*> sets = shared_->sets;
  for (Recordset* set : sets) set->Close();
  shared_->open = false;
}

void PgDatabase::SetCancelFlag(const std::atomic<bool>* cancel) { shared_->stop.cancel = cancel; }

void PgDatabase::SetDeadline(qint64 msSinceEpoch) { shared_->stop.deadline = msSinceEpoch; }

void PgDatabase::CheckOpen() const {
  if (!shared_->open) {
    throw EngineError(engine_error::kClosed, QStringLiteral("The database is closed."));
  }
}

std::unique_ptr<Recordset> PgDatabase::OpenRecordset(const QString& source) {
  CheckOpen();
  if (LooksLikeSql(source)) NotYet(QStringLiteral("A query text"));
  return OpenNamedSet(shared_, source);
}

QueryDef PgDatabase::CreateQueryDef(const QString&, const QString&) {
  CheckOpen();
  NotYet(QStringLiteral("Creating a query"));
}

std::vector<QueryDef> PgDatabase::QueryDefs() const {
  CheckOpen();
  PgPool::Lease connection = shared_->Borrow();
  std::vector<QueryDef> result;
  std::shared_ptr<PgShared> shared = shared_;
  for (const Relation& relation : Relations(*connection)) {
    if (!relation.view) continue;
    const QString name = relation.name;
    result.emplace_back(name, [shared, name] {
      if (!shared->open) {
        throw EngineError(engine_error::kClosed, QStringLiteral("The database is closed."));
      }
      return OpenNamedSet(shared, name);
    });
  }
  return result;
}

QStringList PgDatabase::QueryFieldNames(const QString& name) const {
  CheckOpen();
  PgPool::Lease connection = shared_->Borrow();
  const PgResult result =
      connection->Exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(PgQuoteName(name)));
  QStringList names;
  for (int c = 0; c < result.Columns(); ++c) names << result.ColumnName(c);
  return names;
}

void PgDatabase::DeleteQueryDef(const QString&) {
  CheckOpen();
  NotYet(QStringLiteral("Removing a query"));
}

std::vector<TableDef> PgDatabase::TableDefs() const {
  CheckOpen();
  PgPool::Lease connection = shared_->Borrow();
  std::vector<TableDef> result;
  for (const Relation& relation : Relations(*connection)) {
    if (relation.view) continue;
    TableDef def;
    def.name = relation.name;
    for (const PgColumn& column : Columns(*connection, relation.name)) {
      def.fields.push_back(PgField(column, relation.name));
    }
    result.push_back(std::move(def));
  }
  return result;
}

}  // namespace corvane
