#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace corvane {

// Rewrites the Jet SQL that clients write (a query, a sort text, a find criterion) in
// SQLite's dialect: [names], "texts", #dates#, & concatenation, TOP n, DISTINCTROW,
// True/False/Yes/No, Mod, \, Left/Right. Literals and comments are copied unchanged.
// Throws EngineError 3075 for a text it cannot read.
QString TranslateJetSql(const QString& jet);

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
// first in ascending order, and the Jet functions SQLite is given. Throws 3075.
QString TranslateJetSqlForPostgres(const QString& jet, JetPgTarget& target);

// The longest text a client may have translated and run: a query, a sort order or a find
// criterion (with what the server adds around it). A few KiB hold any such text a handheld
// writes; a longer one only costs the server time.
inline constexpr qsizetype kClientJetSqlLimit = 8 * 1024;
// Throws EngineError 3075 for a client's text longer than kClientJetSqlLimit.
void CheckClientJetSqlLength(const QString& jet);

// The SQLite text of a #date# literal's inside (US month/day/year or ISO order, with
// or without a time), as a quoted 'YYYY-MM-DD HH:MM:SS'; throws 3075 when it is no date.
QString JetDateLiteral(const QString& inside);

// The statement without the semicolons (and blanks) that may end it.
QString StripTrailingSemicolons(QString sql);

}  // namespace corvane
