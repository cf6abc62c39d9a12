#include "postgres/pg_database.h"

#include <QScopeGuard>
#include <optional>

#include "engine/engine_error.h"
#include "engine/jet_sql.h"
#include "engine/select_shape.h"
#include "engine/set_opener.h"
#include "postgres/pg_client_sql.h"
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

std::optional<Relation> FindRelation(PgConnection& connection, const QString& name) {
  for (const Relation& relation : Relations(connection)) {
    if (relation.name.compare(name, Qt::CaseInsensitive) == 0) return relation;
  }
  return std::nullopt;
}

// The catalogue's names of the types of a result's columns.
QStringList ResultTypes(PgConnection& connection, const PgResult& result) {
  QStringList oids, modifiers;
  for (int c = 0; c < result.Columns(); ++c) {
    oids << QString::number(result.ColumnType(c));
    modifiers << QString::number(result.ColumnModifier(c));
  }
  if (oids.isEmpty()) return {};
  const PgResult types = connection.Exec(
      QStringLiteral("SELECT format_type(o, m) FROM unnest($1::oid[], $2::int[]) WITH "
                     "ORDINALITY u(o, m, n) ORDER BY n"),
      {QByteArray("{") + oids.join(QLatin1Char(',')).toUtf8() + '}',
       QByteArray("{") + modifiers.join(QLatin1Char(',')).toUtf8() + '}'});
  QStringList names;
  for (int r = 0; r < types.Rows(); ++r) names << types.Text(r, 0);
  return names;
}

// A set over a client's Jet SELECT. All the columns of one table with a primary key, read
// without grouping or joins: the table's rows in the query's order and choice, editable.
// Any other query: a read-only snapshot of its rows.
std::unique_ptr<Recordset> OpenQuerySet(const std::shared_ptr<PgShared>& shared,
                                        PgConnection& connection, const QString& jet,
                                        const QString& name) {
  const PgQuery query = TranslateClientSelect(jet, CatalogueNames(connection));
  std::optional<SimpleSelect> simple;
  try {
    simple = AnalyzeSimpleSelect(StripTrailingSemicolons(TranslateJetSql(jet)));
  } catch (const EngineError&) {
    // Not of that shape, then; PostgreSQL has read it.
  }
  std::optional<Relation> table;
  if (simple && simple->selectList.trimmed() == QLatin1String("*")) {
    table = FindRelation(connection, simple->table);
  }
  PgSetSource source;
  source.query = query;
  std::vector<FieldInfo> fields;
  if (table && !table->view) {
    source.keyColumns = PrimaryKey(connection, table->name);
  }
  if (!source.keyColumns.isEmpty()) {
    source.table = table->name;
    for (const PgColumn& column : Columns(connection, table->name)) {
      source.columns << column.name;
      fields.push_back(PgField(column, table->name));
    }
  } else {
    source.rows = std::make_shared<PgResult>(
        connection.ExecConfined(PgRowsWithinLimit(query.sql), query.params));
    const QStringList types = ResultTypes(connection, *source.rows);
    for (int c = 0; c < source.rows->Columns(); ++c) {
      PgColumn column;
      column.name = source.rows->ColumnName(c);
      column.type = types.value(c);
      source.columns << column.name;
      fields.push_back(PgField(column, QString()));
    }
  }
  return std::make_unique<PgRecordset>(shared, connection, name, std::move(source),
                                       std::move(fields));
}

// A table or view by name, in any case; 3078 when there is none.
std::unique_ptr<Recordset> OpenNamedSet(const std::shared_ptr<PgShared>& shared,
                                        PgConnection& connection, const QString& name) {
  std::optional<Relation> found;
  for (const Relation& relation : Relations(connection)) {
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
  for (const PgColumn& column : Columns(connection, found->name)) {
    source.columns << column.name;
    fields.push_back(PgField(column, found->name));
  }
  if (!found->view) source.keyColumns = PrimaryKey(connection, found->name);
  return std::make_unique<PgRecordset>(shared, connection, found->name, std::move(source),
                                       std::move(fields));
}

// A set over a client's query (`sql`) or a table or view; made again from the start when
// its connection breaks while it opens.
std::unique_ptr<Recordset> OpenShared(const std::shared_ptr<PgShared>& shared,
                                      const QString& source, bool sql) {
  if (!shared->open) {
    throw EngineError(engine_error::kClosed, QStringLiteral("The database is closed."));
  }
  // A table as another open of it left it, waited for before a connection is taken.
  bool leading = false;
  const std::shared_ptr<const PgOpenedTable> opened =
      sql ? nullptr : shared->pool->Opened(source, shared->stop, leading);
  const auto ended = qScopeGuard([&] {
    if (leading) shared->pool->EndOpening(source);
  });
  return shared->Reading([&](PgConnection& connection) -> std::unique_ptr<Recordset> {
    if (sql) return OpenQuerySet(shared, connection, source, source);
    if (opened) {
      return std::make_unique<PgRecordset>(shared, connection, opened->source.table, opened->source,
                                           opened->fields);
    }
    return OpenNamedSet(shared, connection, source);
  });
}

}  // namespace

void RefuseSuperuser(const PgConnection& connection) {
  if (!connection.IsSuperuser()) return;
  throw EngineError(engine_error::kConnectionFailed, kSuperuserRefusal);
}

PgDatabase::PgDatabase(std::shared_ptr<PgPool> pool)
    : Database(pool->location()), shared_(std::make_shared<PgShared>()) {
  shared_->pool = std::move(pool);
  // Opening proves the server answers, as opening a file proves it is there.
  { RefuseSuperuser(*shared_->Borrow()); }
  // The first client's open makes the rest of the pool's connections, so that the clients'
  // first burst of moves does not wait for new backends (several seconds on a busy
  // PostgreSQL).
  shared_->pool->Fill();
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

void PgDatabase::SetQueryTimeLimit(int milliseconds) { shared_->clientWorkLimitMs = milliseconds; }

void PgDatabase::SetCancelFlag(const std::atomic<bool>* cancel) { shared_->stop.cancel = cancel; }

void PgDatabase::SetDeadline(qint64 msSinceEpoch) { shared_->stop.deadline = msSinceEpoch; }

void PgDatabase::CheckOpen() const {
  if (!shared_->open) {
    throw EngineError(engine_error::kClosed, QStringLiteral("The database is closed."));
  }
}

std::unique_ptr<Recordset> PgDatabase::OpenRecordset(const QString& source) {
  CheckOpen();
  return OpenShared(shared_, source, LooksLikeSql(source));
}

QueryDef PgDatabase::CreateQueryDef(const QString& name, const QString& jetSql) {
  CheckOpen();
  if (name.isEmpty()) {
    // Refuses anything but one reading statement before the query is used.
    shared_->Reading([&](PgConnection& connection) {
      const PgQuery query = TranslateClientSelect(jetSql, CatalogueNames(connection));
      connection.ExecConfined(
          QStringLiteral("SELECT * FROM (%1\n) AS corvane_q LIMIT 0").arg(query.sql), query.params);
    });
    std::shared_ptr<PgShared> shared = shared_;
    return QueryDef(QString(), [shared, jetSql] {
      if (!shared->open) {
        throw EngineError(engine_error::kClosed, QStringLiteral("The database is closed."));
      }
      return shared->Reading([&](PgConnection& connection) {
        return OpenQuerySet(shared, connection, jetSql, QLatin1String(Recordset::kTemporaryName));
      });
    });
  }
  PgPool::Lease connection = shared_->Borrow();
  const PgNames names = CatalogueNames(*connection);
  if (FindRelation(*connection, name)) {
    throw EngineError(engine_error::kAlreadyExists,
                      QStringLiteral("An object named '%1' already exists.").arg(name));
  }
  // A view keeps its statement: the values are quoted into it, by libpq.
  const PgQuery query = TranslateClientSelect(jetSql, names, &*connection);
  connection->ExecConfined(
      QStringLiteral("SELECT * FROM (%1\n) AS corvane_q LIMIT 0").arg(query.sql), {});
  try {
    connection->Exec(QStringLiteral("CREATE VIEW %1 AS %2\n").arg(PgQuoteName(name), query.sql));
  } catch (const EngineError& error) {
    if (error.number() != engine_error::kReadOnly) throw;
    throw EngineError(engine_error::kReadOnly,
                      QStringLiteral("The server database does not let this server save queries "
                                     "(%1): its role needs the CREATE privilege on the schema.")
                          .arg(error.description()));
  }
  std::shared_ptr<PgShared> shared = shared_;
  return QueryDef(name, [shared, name] { return OpenShared(shared, name, false); });
}

std::vector<QueryDef> PgDatabase::QueryDefs() const {
  CheckOpen();
  const std::vector<Relation> relations = shared_->Reading(Relations);
  std::vector<QueryDef> result;
  std::shared_ptr<PgShared> shared = shared_;
  for (const Relation& relation : relations) {
    if (!relation.view) continue;
    const QString name = relation.name;
    result.emplace_back(name, [shared, name] { return OpenShared(shared, name, false); });
  }
  return result;
}

QStringList PgDatabase::QueryFieldNames(const QString& name) const {
  CheckOpen();
  // Nothing of the view runs for no rows, but it is a view: read confined all the same.
  const PgResult result = shared_->Reading([&](PgConnection& connection) {
    return connection.ExecConfined(
        QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(PgQuoteName(name)), {});
  });
  QStringList names;
  for (int c = 0; c < result.Columns(); ++c) names << result.ColumnName(c);
  return names;
}

void PgDatabase::DeleteQueryDef(const QString& name) {
  CheckOpen();
  PgPool::Lease connection = shared_->Borrow();
  // Removing a client's query is the clean-up after its work failed, often because its time
  // was up: it must not be stopped in turn.
  connection->SetStop({});
  const std::optional<Relation> view = FindRelation(*connection, name);
  if (!view || !view->view) {
    throw EngineError(engine_error::kItemNotFound,
                      QStringLiteral("There is no query named '%1'.").arg(name));
  }
  try {
    connection->Exec(QStringLiteral("DROP VIEW %1").arg(PgQuoteName(view->name)));
  } catch (const EngineError& error) {
    if (error.number() != engine_error::kReadOnly) throw;
    throw EngineError(engine_error::kReadOnly,
                      QStringLiteral("The server database does not let this server remove the "
                                     "query '%1' (%2): only its owner may.")
                          .arg(view->name, error.description()));
  }
}

std::vector<TableDef> PgDatabase::TableDefs() const {
  CheckOpen();
  return shared_->Reading([](PgConnection& connection) {
    std::vector<TableDef> result;
    for (const Relation& relation : Relations(connection)) {
      if (relation.view) continue;
      TableDef def;
      def.name = relation.name;
      for (const PgColumn& column : Columns(connection, relation.name)) {
        def.fields.push_back(PgField(column, relation.name));
      }
      result.push_back(std::move(def));
    }
    return result;
  });
}

}  // namespace corvane
