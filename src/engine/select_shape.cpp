#include "engine/select_shape.h"

#include <vector>

#include "engine/connection.h"
#include "engine/sql_tokens.h"

namespace corvane {

namespace {

bool IsClauseWord(const SqlToken& t) {
  for (const char* w :
       {"WHERE", "GROUP", "HAVING", "ORDER", "LIMIT", "WINDOW", "UNION", "INTERSECT", "EXCEPT"}) {
    if (t.isWord(w)) return true;
  }
  return false;
}

QString Join(const std::vector<SqlToken>& tokens, size_t from, size_t to) {
  QString text;
  for (size_t i = from; i < to && i < tokens.size(); ++i) text += tokens[i].text;
  return text.trimmed();
}

}  // namespace

std::optional<SimpleSelect> AnalyzeSimpleSelect(const QString& sql) {
  std::vector<SqlToken> tokens;
  try {
    tokens = TokenizeSql(sql, SqlDialect::kSqlite);
  } catch (...) {
    return std::nullopt;
  }
  // Solid tokens at depth 0 with their indexes.
  std::vector<size_t> top;
  int depth = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const SqlToken& t = tokens[i];
    if (t.isBlank()) continue;
    if (t.isSymbol("(")) {
      if (depth == 0) top.push_back(i);
      ++depth;
      continue;
    }
    if (t.isSymbol(")")) {
      --depth;
      continue;
    }
    if (depth == 0) top.push_back(i);
  }
  if (top.empty() || !tokens[top[0]].isWord("SELECT")) return std::nullopt;
  size_t k = 1;
  if (k < top.size() && tokens[top[k]].isWord("ALL")) ++k;
  if (k < top.size() && tokens[top[k]].isWord("DISTINCT")) return std::nullopt;
  const size_t listStart = k < top.size() ? top[k] : tokens.size();
  size_t from = k;
  while (from < top.size() && !tokens[top[from]].isWord("FROM")) ++from;
  if (from >= top.size()) return std::nullopt;
  size_t clause = from + 1;
  while (clause < top.size() && !IsClauseWord(tokens[top[clause]])) ++clause;
  // The source: name [AS alias] | name alias  (no joins, no commas, no subquery).
  std::vector<size_t> source(top.begin() + from + 1, top.begin() + clause);
  if (source.empty()) return std::nullopt;
  for (size_t s : source) {
    const SqlToken& t = tokens[s];
    if (t.kind != SqlToken::Kind::kName && t.kind != SqlToken::Kind::kQuotedName &&
        !t.isSymbol("."))
      return std::nullopt;
    if (t.isWord("JOIN") || t.isWord("NATURAL") || t.isWord("LEFT") || t.isWord("INNER") ||
        t.isWord("CROSS") || t.isWord("INDEXED") || t.isWord("NOT"))
      return std::nullopt;
  }
  size_t n = 0;
  QString table = UnquotedName(tokens[source[n++]]);
  if (n + 1 < source.size() && tokens[source[n]].isSymbol(".")) {
    if (table.compare(QLatin1String("main"), Qt::CaseInsensitive) != 0) return std::nullopt;
    table = UnquotedName(tokens[source[n + 1]]);
    n += 2;
  }
  QString qualifier = QuoteName(table);
  if (n < source.size() && tokens[source[n]].isWord("AS")) ++n;
  if (n < source.size()) {
    qualifier = QuoteName(UnquotedName(tokens[source[n]]));
    ++n;
  }
  if (n != source.size()) return std::nullopt;
  for (size_t c = clause; c < top.size(); ++c) {
    const SqlToken& t = tokens[top[c]];
    if (t.isWord("GROUP") || t.isWord("HAVING") || t.isWord("WINDOW") || t.isWord("UNION") ||
        t.isWord("INTERSECT") || t.isWord("EXCEPT"))
      return std::nullopt;
  }
  // Aggregates in the select list would fold rows together.
  for (size_t i = listStart; i < top[from]; ++i) {
    const SqlToken& t = tokens[i];
    for (const char* w : {"COUNT", "SUM", "AVG", "MIN", "MAX", "TOTAL", "GROUP_CONCAT"}) {
      if (t.isWord(w)) return std::nullopt;
    }
  }
  SimpleSelect result;
  result.selectList = Join(tokens, listStart, top[from]);
  result.table = table;
  result.qualifier = qualifier;
  const size_t restStart = clause < top.size() ? top[clause] : tokens.size();
  result.fromText = Join(tokens, top[from] + 1, restStart);
  QString rest = Join(tokens, restStart, tokens.size());
  while (rest.endsWith(QLatin1Char(';'))) rest = rest.chopped(1).trimmed();
  result.rest = rest;
  // The clauses one by one: WHERE, ORDER BY, LIMIT in this order when present.
  for (size_t c = clause; c < top.size(); ++c) {
    const SqlToken& t = tokens[top[c]];
    if (!t.isWord("WHERE") && !t.isWord("ORDER") && !t.isWord("LIMIT")) continue;
    size_t next = c + 1;
    while (next < top.size() && !tokens[top[next]].isWord("ORDER") &&
           !tokens[top[next]].isWord("LIMIT"))
      ++next;
    QString text = Join(tokens, top[c], next < top.size() ? top[next] : tokens.size());
    while (text.endsWith(QLatin1Char(';'))) text = text.chopped(1).trimmed();
    if (t.isWord("WHERE")) result.where = text;
    if (t.isWord("ORDER")) result.orderBy = text;
    if (t.isWord("LIMIT")) result.hasLimit = true;
    c = next - 1;
  }
  return result;
}

QString ViewSelectText(const QString& createViewSql) {
  std::vector<SqlToken> tokens;
  try {
    tokens = TokenizeSql(createViewSql, SqlDialect::kSqlite);
  } catch (...) {
    return QString();
  }
  int depth = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const SqlToken& t = tokens[i];
    if (t.isSymbol("(")) {
      // A column list renames the columns: the SELECT alone would not show them.
      if (depth == 0) return QString();
      ++depth;
    }
    if (t.isSymbol(")")) --depth;
    if (depth == 0 && t.isWord("AS")) {
      return Join(tokens, i + 1, tokens.size());
    }
  }
  return QString();
}

}  // namespace corvane
