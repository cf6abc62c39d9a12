#pragma once

#include <QString>
#include <vector>

namespace corvane {

// One lexical piece of an SQL text. Literals and comments are kept whole, so that
// rewrites never reach inside them.
struct SqlToken {
  enum class Kind { kSpace, kComment, kString, kName, kQuotedName, kNumber, kDate, kSymbol };
  Kind kind;
  QString text;  // as written in the source (brackets, quotes and hashes included)

  bool isWord(const char* word) const {
    return kind == Kind::kName && text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
  }
  bool isSymbol(const char* symbol) const {
    return kind == Kind::kSymbol && text == QLatin1String(symbol);
  }
  bool isBlank() const { return kind == Kind::kSpace || kind == Kind::kComment; }
};

enum class SqlDialect {
  kJet,     // 'text' and "text" are strings, [name] a name, #date# a date
  kSqlite,  // 'text' a string, "name" [name] `name` names
};

// Splits an SQL text; an unterminated string, name, date or comment raises error 3075.
std::vector<SqlToken> TokenizeSql(const QString& sql, SqlDialect dialect);

// The bare name of a name token (quotes or brackets removed, doubled quotes undone).
QString UnquotedName(const SqlToken& token);

}  // namespace corvane
