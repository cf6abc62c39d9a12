#include "access/saved_query_sql.h"

#include <QStringList>
#include <algorithm>

namespace corvane {

namespace {

enum Attribute {
  kParameter = 2,
  kFlags = 3,
  kRemoteDatabase = 4,
  kTable = 5,
  kColumn = 6,
  kJoin = 7,
  kWhere = 8,
  kGroupBy = 9,
  kHaving = 10,
  kOrderBy = 11,
};

enum SelectFlag {
  kSelectStar = 1,
  kDistinct = 2,
  kDistinctRow = 8,
  kTop = 16,
  kPercent = 32,
};

struct FromTable {
  QString name;
  QString alias;
  bool used = false;
  QString Key() const { return alias.isEmpty() ? name : alias; }
  QString Text() const {
    return alias.isEmpty() ? JetName(name)
                           : JetName(name) + QStringLiteral(" AS ") + JetName(alias);
  }
};

FromTable* FindTable(std::vector<FromTable>& tables, const QString& key) {
  for (FromTable& t : tables) {
    if (t.Key().compare(key, Qt::CaseInsensitive) == 0) return &t;
  }
  return nullptr;
}

const char* JoinWord(int flag) {
  switch (flag) {
    case 2:
      return " LEFT JOIN ";
    case 3:
      return " RIGHT JOIN ";
    default:
      return " INNER JOIN ";
  }
}

}  // namespace

QString JetName(const QString& name) { return QLatin1Char('[') + name + QLatin1Char(']'); }

std::optional<QString> TranslateBracketsOnly(const QString& jetSql) {
  QString out;
  out.reserve(jetSql.size());
  QChar quote;  // inside a literal: its quote character
  for (qsizetype i = 0; i < jetSql.size(); ++i) {
    const QChar c = jetSql[i];
    if (!quote.isNull()) {
      out += c;
      if (c == quote) quote = QChar();
      continue;
    }
    if (c == u'\'') {
      quote = c;
      out += c;
    } else if (c == u'&' || c == u'#') {
      // Jet's concatenation and date literals mean something else, or nothing, to SQLite.
      return std::nullopt;
    } else if (c == u'[') {
      const qsizetype end = jetSql.indexOf(u']', i + 1);
      if (end < 0) return std::nullopt;
      QString name = jetSql.mid(i + 1, end - i - 1);
      name.replace(QLatin1Char('"'), QLatin1String("\"\""));
      out += QLatin1Char('"') + name + QLatin1Char('"');
      i = end;
    } else {
      out += c;
    }
  }
  if (!quote.isNull()) return std::nullopt;
  return out;
}

QString ActionQueryKind(int objectFlags) {
  switch (objectFlags & 0xF0) {
    case 0x00:
      return QString();
    case 0x10:
      return QStringLiteral("Crosstab");
    case 0x20:
      return QStringLiteral("Delete");
    case 0x30:
      return QStringLiteral("Update");
    case 0x40:
      return QStringLiteral("Append");
    case 0x50:
      return QStringLiteral("Make-table");
    case 0x60:
      return QStringLiteral("Data-definition");
    case 0x70:
      return QStringLiteral("Pass-through");
    case 0x80:
      return QStringLiteral("Union");
    default:
      return QStringLiteral("Unknown");
  }
}

SavedQuerySql SelectSqlFromRows(std::vector<SavedQueryRow> rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const SavedQueryRow& a, const SavedQueryRow& b) {
    return a.order < b.order;
  });
  SavedQuerySql result;
  int selectFlags = 0;
  QString top;
  QStringList columns, where, groupBy, having, orderBy;
  std::vector<FromTable> tables;
  std::vector<const SavedQueryRow*> joins;
  for (const SavedQueryRow& row : rows) {
    switch (row.attribute) {
      case kParameter:
        result.skipReason = QStringLiteral("it asks for parameters");
        return result;
      case kRemoteDatabase:
        result.skipReason = QStringLiteral("it reads another database");
        return result;
      case kFlags:
        selectFlags = row.flag;
        top = row.name1;
        break;
      case kTable:
        if (!row.expression.isEmpty()) {
          result.skipReason = QStringLiteral("it reads another database");
          return result;
        }
        tables.push_back({row.name1, row.name2});
        break;
      case kColumn:
        columns.append(row.name1.isEmpty()
                           ? row.expression
                           : row.expression + QStringLiteral(" AS ") + JetName(row.name1));
        break;
      case kJoin:
        joins.push_back(&row);
        break;
      case kWhere:
        where.append(row.expression);
        break;
      case kGroupBy:
        groupBy.append(row.expression);
        break;
      case kHaving:
        having.append(row.expression);
        break;
      case kOrderBy:
        orderBy.append(row.expression +
                       (row.name1.compare(QLatin1String("D"), Qt::CaseInsensitive) == 0
                            ? QStringLiteral(" DESC")
                            : QString()));
        break;
      default:
        break;
    }
  }
  if (selectFlags & kSelectStar) columns.prepend(QStringLiteral("*"));
  if (columns.isEmpty() || tables.empty()) {
    result.skipReason = QStringLiteral("its definition is incomplete");
    return result;
  }

  // Access stores a join on two conditions as two joins of the same tables.
  std::vector<SavedQueryRow> merged;
  for (const SavedQueryRow* join : joins) {
    auto same = std::find_if(merged.begin(), merged.end(), [&](const SavedQueryRow& m) {
      return m.name1.compare(join->name1, Qt::CaseInsensitive) == 0 &&
             m.name2.compare(join->name2, Qt::CaseInsensitive) == 0 && m.flag == join->flag;
    });
    if (same == merged.end()) {
      merged.push_back(*join);
    } else {
      same->expression = QLatin1Char('(') + same->expression + QStringLiteral(") AND (") +
                         join->expression + QLatin1Char(')');
    }
  }
  // Joins nest left to right: each one adds the table it names that is not yet in.
  QString joined;
  for (const SavedQueryRow& row : merged) {
    const SavedQueryRow* join = &row;
    FromTable* left = FindTable(tables, join->name1);
    FromTable* right = FindTable(tables, join->name2);
    if (!left || !right || (left->used && right->used) ||
        (!joined.isEmpty() && !left->used && !right->used)) {
      result.skipReason = QStringLiteral("its joins cannot be rebuilt");
      return result;
    }
    const QLatin1String word(JoinWord(join->flag));
    if (joined.isEmpty()) {
      joined = left->Text() + word + right->Text();
    } else if (left->used) {
      joined = QLatin1Char('(') + joined + QLatin1Char(')') + word + right->Text();
    } else {
      // The new table is on the left: keep the written order of the join.
      joined = left->Text() + word + QLatin1Char('(') + joined + QLatin1Char(')');
    }
    joined += QStringLiteral(" ON ") + join->expression;
    left->used = right->used = true;
  }
  QStringList from;
  if (!joined.isEmpty()) from.append(joined);
  for (const FromTable& t : tables) {
    if (!t.used) from.append(t.Text());
  }

  QString sql = QStringLiteral("SELECT ");
  if (selectFlags & kTop) {
    sql += QStringLiteral("TOP ") + top +
           ((selectFlags & kPercent) ? QStringLiteral(" PERCENT ") : QStringLiteral(" "));
  }
  if (selectFlags & kDistinctRow) {
    sql += QStringLiteral("DISTINCTROW ");
  } else if (selectFlags & kDistinct) {
    sql += QStringLiteral("DISTINCT ");
  }
  sql += columns.join(QStringLiteral(", ")) + QStringLiteral(" FROM ") +
         from.join(QStringLiteral(", "));
  if (!where.isEmpty()) sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
  if (!groupBy.isEmpty()) sql += QStringLiteral(" GROUP BY ") + groupBy.join(QStringLiteral(", "));
  if (!having.isEmpty()) sql += QStringLiteral(" HAVING ") + having.join(QStringLiteral(" AND "));
  if (!orderBy.isEmpty()) sql += QStringLiteral(" ORDER BY ") + orderBy.join(QStringLiteral(", "));
  result.sql = sql;
  return result;
}

}  // namespace corvane
