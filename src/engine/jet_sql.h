#pragma once

#include <QString>

namespace corvane {

// Rewrites the Jet SQL that clients write (a query, a sort text, a find criterion) in
// SQLite's dialect: [names], "texts", #dates#, & concatenation, TOP n, DISTINCTROW,
// True/False/Yes/No, Mod, \, Left/Right. Literals and comments are copied unchanged.
// Throws EngineError 3075 for a text it cannot read. (The same reading for other engines:
// JetSqlWriter.)
QString TranslateJetSql(const QString& jet);

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
