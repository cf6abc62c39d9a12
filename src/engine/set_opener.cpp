#include "engine/set_opener.h"

#include <QSet>
#include <map>

#include "engine/connection.h"
#include "engine/engine_error.h"
#include "engine/jet_sql.h"
#include "engine/select_shape.h"
#include "engine/sqlite_recordset.h"
#include "engine/table_info.h"

namespace corvane {

namespace {

// The table a set over `info` writes to: none (a read-only set) for SQLite's own tables.
QString WritableName(const TableInfo& info) {
  return IsInternalTable(info.name) ? QString() : info.name;
}

std::unique_ptr<Recordset> OpenTableSet(const std::shared_ptr<Connection>& connection,
                                        const TableInfo& info) {
  std::vector<FieldInfo> fields;
  QStringList columns;
  for (const TableInfo::Column& c : info.columns) {
    if (c.hidden) continue;
    fields.push_back(info.Field(c, c.name));
    columns << QuoteName(c.name);
  }
  const QString table = QuoteName(info.name);
  SetSource source;
  source.table = WritableName(info);
  source.findFrom = table;
  if (!info.withoutRowid) {
    source.keyName = info.keyName;
    source.keyWhereHead = info.keyName + QStringLiteral(" = ");
    source.findKey = info.keyName;
    source.keySql = QStringLiteral("SELECT %1 FROM %2 ORDER BY %1").arg(info.keyName, table);
    // Rowids are mostly dense: the largest is close to the count, and found at once.
    source.sizeHintSql = QStringLiteral("SELECT max(%1) FROM %2").arg(info.keyName, table);
    source.fetchSql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?1")
                          .arg(columns.join(QStringLiteral(", ")), table, info.keyName);
    return std::make_unique<SqliteRecordset>(connection, info.name, source, std::move(fields));
  }
  // Without a rowid: the primary key values, in key order, in a temporary table whose
  // rowids serve as the set's keys.
  const std::vector<QString> key = info.PrimaryKey();
  const QString keyTable = connection->NewTempName();
  const QString keyRef = QStringLiteral("temp.") + QuoteName(keyTable);
  QStringList keyColumns, keyStore, tableKey, qualifiedKey;
  for (size_t k = 0; k < key.size(); ++k) {
    keyColumns << key[k];
    keyStore << QStringLiteral("corvane_pk%1").arg(k + 1);
    tableKey << QuoteName(key[k]);
    qualifiedKey << table + QLatin1Char('.') + QuoteName(key[k]);
  }
  const QString stored = keyStore.join(QStringLiteral(", "));
  const QString pk = tableKey.join(QStringLiteral(", "));
  connection->Execute(QStringLiteral("CREATE TEMP TABLE %1 (corvane_key INTEGER PRIMARY KEY, %2)")
                          .arg(QuoteName(keyTable), stored));
  source.tempTable = keyTable;
  try {
    connection->Execute(QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4 ORDER BY %3")
                            .arg(keyRef, stored, pk, table));
  } catch (...) {
    const Connection::Unbounded unbounded(*connection);
    connection->Execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(keyRef));
    throw;
  }
  source.keyTable = keyTable;
  source.keyColumns = keyColumns;
  source.keyWhereHead =
      QStringLiteral("(%1) = (SELECT %2 FROM %3 WHERE corvane_key = ").arg(pk, stored, keyRef);
  source.keyWhereTail = QStringLiteral(")");
  source.keySql = QStringLiteral("SELECT corvane_key FROM %1 ORDER BY corvane_key").arg(keyRef);
  source.fetchSql = QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                        .arg(columns.join(QStringLiteral(", ")), table, source.KeyWhere(1));
  source.findFrom =
      QStringLiteral("%1 JOIN %2 AS corvane_k ON (%3) = (%4)")
          .arg(table, keyRef, qualifiedKey.join(QStringLiteral(", ")),
               QStringLiteral("corvane_k.") + keyStore.join(QStringLiteral(", corvane_k.")));
  source.findKey = QStringLiteral("corvane_k.corvane_key");
  return std::make_unique<SqliteRecordset>(connection, info.name, source, std::move(fields));
}

// Column descriptors of a prepared query, from the tables its columns come from.
std::vector<FieldInfo> QueryFields(Connection& connection, sqlite3_stmt* stmt,
                                   std::map<QString, std::optional<TableInfo>>& tables,
                                   QString* singleTable) {
  std::vector<FieldInfo> fields;
  const int n = sqlite3_column_count(stmt);
  QSet<QString> origins;
  bool allFromMain = true;
  for (int i = 0; i < n; ++i) {
    const QString shown = QString::fromUtf8(sqlite3_column_name(stmt, i));
    const char* db = sqlite3_column_database_name(stmt, i);
    const char* table = sqlite3_column_table_name(stmt, i);
    const char* column = sqlite3_column_origin_name(stmt, i);
    FieldInfo field;
    field.name = shown;
    field.sourceField = shown;
    if (table && column && db && qstrcmp(db, "main") == 0) {
      const QString t = QString::fromUtf8(table);
      auto it = tables.find(t.toLower());
      if (it == tables.end()) it = tables.emplace(t.toLower(), LoadTableInfo(connection, t)).first;
      const TableInfo::Column* c =
          it->second ? it->second->Find(QString::fromUtf8(column)) : nullptr;
      if (c) {
        field = it->second->Field(*c, shown);
        origins.insert(t.toLower());
        fields.push_back(field);
        continue;
      }
    }
    allFromMain = false;
    const char* declared = sqlite3_column_decltype(stmt, i);
    if (declared) {
      field.type = FieldTypeFromDeclared(QString::fromUtf8(declared), &field.size);
    } else {
      field.sourceTable.clear();
      field.size = -1;  // to be taken from the values
    }
    field.attributes =
        FieldTypeSize(field.type) > 0 ? kFixedFieldAttributes : kVariableFieldAttributes;
    fields.push_back(field);
  }
  if (allFromMain && origins.size() == 1) *singleTable = *origins.begin();
  return fields;
}

// Types of computed columns, from the values they hold.
void TypesFromValues(Connection& connection, const QString& temp, const QStringList& columns,
                     std::vector<FieldInfo>& fields) {
  QStringList parts;
  std::vector<int> which;
  for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
    if (fields[i].size != -1) continue;
    which.push_back(i);
    parts << QStringLiteral("group_concat(DISTINCT typeof(%1)), max(length(%1))").arg(columns[i]);
  }
  if (which.empty()) return;
  Statement stmt = connection.Prepare(
      QStringLiteral("SELECT %1 FROM temp.%2").arg(parts.join(QStringLiteral(", ")), temp));
  const bool row = stmt.Step();
  for (size_t k = 0; k < which.size(); ++k) {
    FieldInfo& f = fields[which[k]];
    const QString kinds = row ? stmt.ColumnText(static_cast<int>(2 * k)) : QString();
    const int64_t longest = row ? stmt.ColumnInteger(static_cast<int>(2 * k + 1)) : 0;
    if (kinds.contains(QLatin1String("blob"))) {
      f.type = FieldType::kLongBinary;
      f.size = 0;
    } else if (kinds.contains(QLatin1String("text"))) {
      f.type = longest > 255 ? FieldType::kMemo : FieldType::kText;
      f.size = longest > 255 ? 0 : 255;
    } else if (kinds.contains(QLatin1String("real"))) {
      f.type = FieldType::kDouble;
      f.size = 8;
    } else if (kinds.contains(QLatin1String("integer"))) {
      f.type = FieldType::kLong;
      f.size = 4;
    } else {
      f.type = FieldType::kText;
      f.size = 255;
    }
    f.attributes = FieldTypeSize(f.type) > 0 ? kFixedFieldAttributes : kVariableFieldAttributes;
  }
}

// A read-only set: the query's rows copied, in order, into a temporary table.
std::unique_ptr<Recordset> OpenCopiedSet(const std::shared_ptr<Connection>& connection,
                                         const QString& sql, const QString& name,
                                         std::vector<FieldInfo> fields) {
  const QString tempName = connection->NewTempName();
  const QString temp = QuoteName(tempName);
  const QString key = QStringLiteral("corvane_key");
  QSet<QString> used{key};
  QStringList columns;
  for (const FieldInfo& f : fields) {
    QString column = f.name.isEmpty() ? QStringLiteral("Expr") : f.name;
    QString unique = column;
    for (int k = 1; used.contains(unique.toLower()); ++k)
      unique = column + QStringLiteral("_%1").arg(k);
    used.insert(unique.toLower());
    columns << QuoteName(unique);
  }
  connection->Execute(QStringLiteral("CREATE TEMP TABLE %1 (%2 INTEGER PRIMARY KEY, %3)")
                          .arg(temp, key, columns.join(QStringLiteral(", "))));
  SetSource source;
  source.tempTable = tempName;
  try {
    connection->ExecuteCopy(QStringLiteral("INSERT INTO temp.%1 (%2) %3")
                                .arg(temp, columns.join(QStringLiteral(", ")),
                                     StripTrailingSemicolons(sql) + QLatin1Char('\n')),
                            tempName);
    TypesFromValues(*connection, temp, columns, fields);
  } catch (...) {
    const Connection::Unbounded unbounded(*connection);
    connection->Execute(QStringLiteral("DROP TABLE IF EXISTS temp.%1").arg(temp));
    throw;
  }
  source.keySql = QStringLiteral("SELECT %1 FROM temp.%2 ORDER BY %1").arg(key, temp);
  source.fetchSql = QStringLiteral("SELECT %1 FROM temp.%2 WHERE %3 = ?1")
                        .arg(columns.join(QStringLiteral(", ")), temp, key);
  source.findFrom = QStringLiteral("temp.") + temp;
  source.findKey = key;
  source.clientQuery = true;
  return std::make_unique<SqliteRecordset>(connection, name, source, std::move(fields));
}

// The select of `outer` (SELECT * FROM view [ORDER BY ...]) written over the view's own
// table, when the view is a simple select of one table; nullopt otherwise.
std::optional<SimpleSelect> InlinedView(Connection& connection, const SimpleSelect& outer) {
  if (outer.selectList != QLatin1String("*") || !outer.where.isEmpty() || outer.hasLimit)
    return std::nullopt;
  Statement view = connection.Prepare(QStringLiteral(
      "SELECT sql FROM sqlite_master WHERE type = 'view' AND name = ?1 COLLATE NOCASE"));
  view.Bind(1, Variant(outer.table));
  if (!view.Step()) return std::nullopt;
  const QString select = ViewSelectText(view.ColumnText(0));
  std::optional<SimpleSelect> inner = AnalyzeSimpleSelect(select);
  if (!inner || inner->hasLimit) return std::nullopt;
  if (outer.qualifier != QuoteName(outer.table)) return std::nullopt;  // aliased view
  if (!outer.orderBy.isEmpty()) inner->orderBy = outer.orderBy;
  inner->rest = (inner->where + QLatin1Char(' ') + inner->orderBy).trimmed();
  return inner;
}

}  // namespace

bool LooksLikeSql(const QString& text) {
  const QString t = text.trimmed();
  for (const char* word : {"SELECT", "WITH", "TRANSFORM", "PARAMETERS", "VALUES"}) {
    const QString w = QLatin1String(word);
    if (t.startsWith(w, Qt::CaseInsensitive) &&
        (t.size() == w.size() || !t[w.size()].isLetterOrNumber()))
      return true;
  }
  return t.startsWith(QLatin1Char('('));
}

std::unique_ptr<Recordset> OpenQuerySet(const std::shared_ptr<Connection>& connection,
                                        const QString& sqliteSql, const QString& name) {
  const Connection::TimeLimit limit(*connection);
  const Connection::SortMemory sortMemory(*connection);
  std::map<QString, std::optional<TableInfo>> tables;
  QString singleTable;
  std::vector<FieldInfo> fields;
  {
    Statement probe = connection->PrepareConfined(sqliteSql);
    fields = QueryFields(*connection, probe.get(), tables, &singleTable);
  }
  std::optional<SimpleSelect> shape = AnalyzeSimpleSelect(sqliteSql);
  if (shape && singleTable.isEmpty() == false && shape->table.toLower() != singleTable) {
    // SELECT * FROM a stored query [ORDER BY ...], as a sort of a query is: read through
    // the query's own table when the query is itself one table's rows.
    if (const std::optional<SimpleSelect> inner = InlinedView(*connection, *shape)) shape = inner;
  }
  if (shape && !singleTable.isEmpty() && shape->table.toLower() == singleTable) {
    const std::optional<TableInfo>& info = tables[singleTable];
    if (info && !info->withoutRowid && !info->keyName.isEmpty()) {
      const QString key = shape->qualifier + QLatin1Char('.') + info->keyName;
      SetSource source;
      source.table = WritableName(*info);
      source.keyName = info->keyName;
      source.keyWhereHead = info->keyName + QStringLiteral(" = ");
      source.findFrom = QuoteName(info->name);
      source.findKey = info->keyName;
      if (shape->selectList == QLatin1String("*")) {
        // No aliases for ORDER BY to name: the keys alone are read (and sorted).
        source.keySql =
            QStringLiteral("SELECT %1 FROM %2 %3\n").arg(key, shape->fromText, shape->rest);
      } else {
        source.keySql = QStringLiteral("SELECT %1, %2 FROM %3 %4\n")
                            .arg(shape->selectList, key, shape->fromText, shape->rest);
        source.keyColumn = static_cast<int>(fields.size());
      }
      source.fetchSql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?1")
                            .arg(shape->selectList, shape->fromText, key);
      source.clientQuery = true;
      return std::make_unique<SqliteRecordset>(connection, name, source, std::move(fields));
    }
  }
  return OpenCopiedSet(connection, sqliteSql, name, std::move(fields));
}

std::unique_ptr<Recordset> OpenSet(const std::shared_ptr<Connection>& connection,
                                   const QString& source) {
  Statement lookup = connection->Prepare(
      QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE type IN ('table', 'view') "
                     "AND name = ?1 COLLATE NOCASE"));
  lookup.Bind(1, Variant(source.trimmed()));
  if (lookup.Step()) {
    const QString type = lookup.ColumnText(0);
    const QString name = lookup.ColumnText(1);
    const QString sql = lookup.ColumnText(2);
    lookup.Finalize();
    if (type == QLatin1String("table")) {
      const std::optional<TableInfo> info = LoadTableInfo(*connection, name);
      if (info) return OpenTableSet(connection, *info);
    } else {
      QString select = ViewSelectText(sql);
      if (select.isEmpty()) select = QStringLiteral("SELECT * FROM %1").arg(QuoteName(name));
      return OpenQuerySet(connection, select, name);
    }
  }
  if (LooksLikeSql(source)) {
    CheckClientJetSqlLength(source);
    return OpenQuerySet(connection, TranslateJetSql(source), source);
  }
  throw EngineError(engine_error::kNoSuchObject,
                    QStringLiteral("There is no table or query named '%1'.").arg(source));
}

}  // namespace corvane
