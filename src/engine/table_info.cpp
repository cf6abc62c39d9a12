#include "engine/table_info.h"

#include <algorithm>

#include "engine/connection.h"

namespace corvane {

const TableInfo::Column* TableInfo::Find(const QString& column) const {
  for (const Column& c : columns) {
    if (c.name.compare(column, Qt::CaseInsensitive) == 0) return &c;
  }
  return nullptr;
}

std::vector<QString> TableInfo::PrimaryKey() const {
  std::vector<const Column*> key;
  for (const Column& c : columns) {
    if (c.primaryKey > 0) key.push_back(&c);
  }
  std::sort(key.begin(), key.end(),
            [](const Column* a, const Column* b) { return a->primaryKey < b->primaryKey; });
  std::vector<QString> names;
  for (const Column* c : key) names.push_back(c->name);
  return names;
}

FieldInfo TableInfo::Field(const Column& column, const QString& shownName) const {
  FieldInfo f;
  f.name = shownName;
  f.sourceField = column.name;
  f.sourceTable = name;
  f.type = FieldTypeFromDeclared(column.declared, &f.size);
  const QString upper = column.declared.trimmed().toUpper();
  const bool counter = upper == QLatin1String("COUNTER") || upper == QLatin1String("AUTOINCREMENT");
  const bool isAlias =
      !rowidAlias.isEmpty() && column.name.compare(rowidAlias, Qt::CaseInsensitive) == 0;
  if (counter || isAlias) {
    f.attributes = kAutoNumberAttributes;
    f.type = FieldType::kLong;
    f.size = 4;
  } else {
    f.attributes = FieldTypeSize(f.type) > 0 ? kFixedFieldAttributes : kVariableFieldAttributes;
  }
  f.required = column.notNull && !column.hasDefault && !f.autoNumber();
  return f;
}

bool IsInternalTable(const QString& name) {
  return name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive);
}

std::optional<TableInfo> LoadTableInfo(Connection& connection, const QString& table) {
  TableInfo info;
  {
    Statement list = connection.Prepare(QStringLiteral(
        "SELECT name, wr FROM pragma_table_list WHERE schema = 'main' AND type = 'table' "
        "AND name = ?1 COLLATE NOCASE"));
    list.Bind(1, Variant(table));
    if (!list.Step()) return std::nullopt;
    info.name = list.ColumnText(0);
    info.withoutRowid = list.ColumnInteger(1) != 0;
  }
  Statement cols = connection.Prepare(
      QStringLiteral("SELECT name, type, \"notnull\", dflt_value IS NOT NULL, pk, hidden "
                     "FROM pragma_table_xinfo(?1, 'main')"));
  cols.Bind(1, Variant(info.name));
  while (cols.Step()) {
    TableInfo::Column c;
    c.name = cols.ColumnText(0);
    c.declared = cols.ColumnText(1);
    c.notNull = cols.ColumnInteger(2) != 0;
    c.hasDefault = cols.ColumnInteger(3) != 0;
    c.primaryKey = static_cast<int>(cols.ColumnInteger(4));
    c.hidden = cols.ColumnInteger(5) == 1;
    info.columns.push_back(c);
  }
  if (!info.withoutRowid) {
    const std::vector<QString> key = info.PrimaryKey();
    if (key.size() == 1) {
      const TableInfo::Column* c = info.Find(key.front());
      if (c && c->declared.trimmed().compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
        info.rowidAlias = c->name;
    }
    if (!info.rowidAlias.isEmpty()) {
      info.keyName = QuoteName(info.rowidAlias);
    } else {
      for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        if (!info.Find(QLatin1String(candidate))) {
          info.keyName = QLatin1String(candidate);
          break;
        }
      }
    }
  }
  return info;
}

}  // namespace corvane
