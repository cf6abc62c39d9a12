#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace corvane {

// Rewrites a saved query's Jet SQL for SQLite; nullopt when it cannot.
using JetSqlTranslator = std::function<std::optional<QString>(const QString& jetSql)>;

// A translation of names only: [names] become "names", the rest is left as it is. Refuses SQL with
// & or # outside literals, which SQLite would read differently (a bitwise and) or not at all.
std::optional<QString> TranslateBracketsOnly(const QString& jetSql);

// One row of MSysQueries, the table in which Access keeps a saved query in parts.
struct SavedQueryRow {
  QByteArray order;  // rows of one query sort by it
  int attribute = 0;
  QString expression;
  int flag = 0;
  QString name1;
  QString name2;
};

struct SavedQuerySql {
  QString sql;         // the SELECT in Jet SQL; empty when it cannot be rebuilt
  QString skipReason;  // why not
};

// Rebuilds the SELECT statement of a saved select query from its rows, in any order.
SavedQuerySql SelectSqlFromRows(std::vector<SavedQueryRow> rows);

// The kind of a saved query from its MSysObjects flags: empty for a select query, else
// e.g. "Update" or "Crosstab".
QString ActionQueryKind(int objectFlags);

// A name in Jet's brackets.
QString JetName(const QString& name);

}  // namespace corvane
