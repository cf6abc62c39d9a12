#pragma once

#include <QString>

namespace corvane {

// Rewrites the Jet SQL that clients write (a query, a sort text, a find criterion) in
// SQLite's dialect: [names], "texts", #dates#, & concatenation, TOP n, DISTINCTROW,
// True/False/Yes/No, Mod, \, Left/Right. Literals and comments are copied unchanged.
// Throws EngineError 3075 for a text it cannot read.
QString TranslateJetSql(const QString& jet);

// The SQLite text of a #date# literal's inside (US month/day/year or ISO order, with
// or without a time), as a quoted 'YYYY-MM-DD HH:MM:SS'; throws 3075 when it is no date.
QString JetDateLiteral(const QString& inside);

}  // namespace corvane
