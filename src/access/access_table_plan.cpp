#include "access/access_table_plan.h"

#include <algorithm>

namespace corvane {

namespace {

const AccessIndex* PrimaryKeyOf(const AccessTableDef& table) {
  for (const AccessIndex& index : table.indexes) {
    if (index.primaryKey) return &index;
  }
  return nullptr;
}

QString UniqueIndexName(const QString& table, const QString& index, QStringList& used) {
  const QString base = table + QLatin1Char('_') + index;
  QString name = base;
  for (int n = 2; used.contains(name, Qt::CaseInsensitive); ++n)
    name = base + QLatin1Char('_') + QString::number(n);
  used.append(name);
  return name;
}

}  // namespace

QString SqlName(const QString& name) {
  QString quoted = name;
  quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

namespace {

// The PostgreSQL types the server database engine reads back as the same field types as
// the SQLite ones; Byte has no type of its own there and reads as Integer.
QString PostgresType(const AccessColumn& column) {
  switch (column.type) {
    case AccessType::kBoolean:
      return QStringLiteral("boolean");
    case AccessType::kByte:
    case AccessType::kInteger:
      return QStringLiteral("smallint");
    case AccessType::kLong:
      return QStringLiteral("integer");
    case AccessType::kCurrency:
      return QStringLiteral("numeric(19,4)");
    case AccessType::kSingle:
      return QStringLiteral("real");
    case AccessType::kDouble:
      return QStringLiteral("double precision");
    case AccessType::kDateTime:
      return QStringLiteral("timestamp");
    case AccessType::kBinary:
    case AccessType::kOle:
      return QStringLiteral("bytea");
    case AccessType::kText:
      return QStringLiteral("varchar(%1)").arg(std::max(column.size, 1));
    case AccessType::kMemo:
      return QStringLiteral("text");
    case AccessType::kGuid:
      return QStringLiteral("uuid");
    case AccessType::kDecimal:
      return QStringLiteral("numeric(%1,%2)").arg(std::max(column.precision, 1)).arg(column.scale);
    case AccessType::kComplex:
      break;
  }
  return QString();
}

// Sets the identity's sequence past the imported numbers, so that the next row added gets
// a number no imported row has.
QString ContinueIdentity(const QString& table, const QString& column) {
  auto literal = [](QString text) {
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QLatin1String("''")) +
           QLatin1Char('\'');
  };
  const QString quoted = SqlName(column);
  return QStringLiteral(
             "SELECT setval(pg_get_serial_sequence(%1, %2), greatest(coalesce(max(%3), 1), 1), "
             "coalesce(max(%3), 0) >= 1) FROM %4")
      .arg(literal(SqlName(table)), literal(column), quoted, SqlName(table));
}

}  // namespace

QString DeclaredType(const AccessColumn& column, ImportDialect dialect) {
  if (dialect == ImportDialect::kPostgres) return PostgresType(column);
  switch (column.type) {
    case AccessType::kBoolean:
      return QStringLiteral("YESNO");
    case AccessType::kByte:
      return QStringLiteral("BYTE");
    case AccessType::kInteger:
      return QStringLiteral("SMALLINT");
    case AccessType::kLong:
      return QStringLiteral("LONG");
    case AccessType::kCurrency:
      return QStringLiteral("CURRENCY");
    case AccessType::kSingle:
      return QStringLiteral("SINGLE");
    case AccessType::kDouble:
      return QStringLiteral("DOUBLE");
    case AccessType::kDateTime:
      return QStringLiteral("DATETIME");
    case AccessType::kBinary:
      return QStringLiteral("VARBINARY(%1)").arg(std::max(column.size, 1));
    case AccessType::kText:
      return QStringLiteral("VARCHAR(%1)").arg(std::max(column.size, 1));
    case AccessType::kOle:
      return QStringLiteral("OLEOBJECT");
    case AccessType::kMemo:
      // Not "MEMO": SQLite would give that numeric affinity and turn a memo "007" into 7.
      return QStringLiteral("LONGTEXT");
    case AccessType::kGuid:
      return QStringLiteral("GUID");
    case AccessType::kDecimal:
      return QStringLiteral("DECIMAL(%1,%2)").arg(column.precision).arg(column.scale);
    case AccessType::kComplex:
      break;
  }
  return QString();
}

AccessTablePlan PlanTable(const AccessTableDef& table, QStringList& indexNames,
                          ImportDialect dialect) {
  const bool postgres = dialect == ImportDialect::kPostgres;
  AccessTablePlan plan;
  const AccessIndex* primaryKey = PrimaryKeyOf(table);
  int autoNumber = -1;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].autoNumber && table.columns[i].type == AccessType::kLong) {
      autoNumber = static_cast<int>(i);
      break;
    }
  }
  const bool keyIsAutoNumber =
      primaryKey && primaryKey->columns.size() == 1 && primaryKey->columns.front() == autoNumber;
  auto inPrimaryKey = [&](int column) {
    return primaryKey && std::find(primaryKey->columns.begin(), primaryKey->columns.end(),
                                   column) != primaryKey->columns.end();
  };

  QStringList definitions;
  QStringList insertNames;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const AccessColumn& column = table.columns[i];
    const int position = static_cast<int>(i);
    if (column.type == AccessType::kComplex) {
      plan.skipped.push_back({QStringLiteral("column"), table.name + QLatin1Char('.') + column.name,
                              QStringLiteral("multi-valued and attachment fields are not "
                                             "imported")});
      continue;
    }
    QString definition = SqlName(column.name) + QLatin1Char(' ');
    if (position == autoNumber) {
      definition += postgres
                        ? QStringLiteral("integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                        : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
      if (postgres) plan.afterRows.append(ContinueIdentity(table.name, column.name));
    } else {
      definition += DeclaredType(column, dialect);
      if (column.type == AccessType::kBoolean) {
        definition += postgres ? QStringLiteral(" NOT NULL DEFAULT false")
                               : QStringLiteral(" NOT NULL DEFAULT 0");
      } else if (column.required || inPrimaryKey(position)) {
        definition += QStringLiteral(" NOT NULL");
      }
    }
    definitions.append(definition);
    insertNames.append(SqlName(column.name));
    plan.columns.push_back(position);
  }

  auto keyColumns = [&](const AccessIndex& index, bool withOrder) {
    QStringList names;
    for (size_t k = 0; k < index.columns.size(); ++k) {
      QString name = SqlName(table.columns[index.columns[k]].name);
      if (withOrder && index.descending[k]) name += QStringLiteral(" DESC");
      names.append(name);
    }
    return names.join(QStringLiteral(", "));
  };
  auto importable = [&](const AccessIndex& index) {
    return std::all_of(index.columns.begin(), index.columns.end(),
                       [&](int c) { return table.columns[c].type != AccessType::kComplex; });
  };

  // With an AutoNumber the row key is that column; another primary key stays unique.
  if (primaryKey && !keyIsAutoNumber && autoNumber < 0 && importable(*primaryKey))
    definitions.append(QStringLiteral("PRIMARY KEY (%1)").arg(keyColumns(*primaryKey, false)));

  plan.createTable = QStringLiteral("CREATE TABLE %1 (%2)")
                         .arg(SqlName(table.name), definitions.join(QStringLiteral(", ")));
  QStringList parameters;
  for (qsizetype i = 1; i <= insertNames.size(); ++i)
    parameters.append((postgres ? QStringLiteral("$%1") : QStringLiteral("?%1")).arg(i));
  plan.insertInto = QStringLiteral("INSERT INTO %1 (%2)")
                        .arg(SqlName(table.name), insertNames.join(QStringLiteral(", ")));
  plan.insert =
      QStringLiteral("%1 VALUES (%2)").arg(plan.insertInto, parameters.join(QStringLiteral(", ")));

  for (const AccessIndex& index : table.indexes) {
    if (index.primaryKey && (keyIsAutoNumber || autoNumber < 0)) continue;
    if (!importable(index)) {
      plan.skipped.push_back({QStringLiteral("index"), table.name + QLatin1Char('.') + index.name,
                              QStringLiteral("it covers a multi-valued field")});
      continue;
    }
    plan.createIndexes.append(QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                                  .arg(index.unique ? QStringLiteral("UNIQUE ") : QString(),
                                       SqlName(UniqueIndexName(table.name, index.name, indexNames)),
                                       SqlName(table.name), keyColumns(index, true)));
    plan.indexNames.append(index.name);
  }
  return plan;
}

}  // namespace corvane
