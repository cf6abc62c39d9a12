#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace corvane {

// How a client's Jet SQL reaches PostgreSQL. Its texts and dates become parameters ($n),
// or, where a statement is stored (a view), literals quoted by `quote`. Names are spelled
// as the catalogue spells them: Jet reads names in any case, PostgreSQL tells cases apart.
struct JetPgTarget {
  // The catalogue's spelling of a table or column name given in any case; empty: unknown.
  std::function<QString(const QString&)> spell;
  // Whether a column (as spelled) holds text: sorting by it ignores case.
  std::function<bool(const QString&)> isText;
  // Set for a stored statement: a value as a quoted literal, instead of a parameter.
  std::function<QString(const QString&)> quote;
  std::vector<std::optional<QByteArray>> params;  // appended to, numbered on from its size
};

// Rewrites the client's Jet SQL in PostgreSQL's dialect, with the same meaning as
// TranslateJetSql gives it on SQLite: texts compare and sort without case (ASCII letters
// folded, then in code point order, as SQLite's NOCASE), Like with Jet's wildcards, Nulls
// first in ascending order, and the Jet functions SQLite is given. Throws 3075; 3085 for a
// call of anything but a Jet function or one IsSafePgCall lets through.
QString TranslateJetSqlForPostgres(const QString& jet, JetPgTarget& target);

}  // namespace corvane
