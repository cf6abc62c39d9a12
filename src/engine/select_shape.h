#pragma once

#include <QString>
#include <optional>

namespace corvane {

// A SELECT (SQLite dialect) that reads one table without joins, grouping, DISTINCT or
// compound parts: each of its rows is one row of that table, so it can be keyed by
// the table's rowid.
struct SimpleSelect {
  QString selectList;  // what follows SELECT [ALL], up to FROM
  QString table;       // the source table's bare name
  QString qualifier;   // how the select names the source (alias or table), quoted
  QString fromText;    // the source as written, alias included
  QString rest;        // WHERE / ORDER BY / LIMIT text, without a closing ';'
  QString where;       // the WHERE clause alone (with its keyword), or empty
  QString orderBy;     // the ORDER BY clause alone, or empty
  bool hasLimit = false;
};

std::optional<SimpleSelect> AnalyzeSimpleSelect(const QString& sqliteSql);

// The SELECT of a CREATE VIEW statement as stored in the catalogue.
QString ViewSelectText(const QString& createViewSql);

}  // namespace corvane
