#include "engine/sql_tokens.h"

#include "engine/engine_error.h"

namespace corvane {

namespace {

[[noreturn]] void Unterminated(const QString& what) {
  throw EngineError(engine_error::kSyntaxError,
                    QStringLiteral("Syntax error in expression: %1 is not closed.").arg(what));
}

bool IsNameStart(QChar c) { return c.isLetter() || c == QLatin1Char('_') || c.unicode() > 127; }
bool IsNamePart(QChar c) { return IsNameStart(c) || c.isDigit() || c == QLatin1Char('$'); }

// Index after a quoted run that starts at i with quote q; a doubled quote stays inside.
int QuotedEnd(const QString& s, int i, QChar q, const QString& what) {
  int j = i + 1;
  for (;;) {
    if (j >= s.size()) Unterminated(what);
    if (s[j] == q) {
      if (j + 1 < s.size() && s[j + 1] == q) {
        j += 2;
        continue;
      }
      return j + 1;
    }
    ++j;
  }
}

}  // namespace

std::vector<SqlToken> TokenizeSql(const QString& s, SqlDialect dialect) {
  std::vector<SqlToken> tokens;
  int i = 0;
  const int n = s.size();
  auto push = [&](SqlToken::Kind kind, int end) {
    tokens.push_back({kind, s.mid(i, end - i)});
    i = end;
  };
  while (i < n) {
    const QChar c = s[i];
    if (c.isSpace()) {
      int j = i;
      while (j < n && s[j].isSpace()) ++j;
      push(SqlToken::Kind::kSpace, j);
    } else if (c == QLatin1Char('-') && i + 1 < n && s[i + 1] == QLatin1Char('-')) {
      int j = s.indexOf(QLatin1Char('\n'), i);
      push(SqlToken::Kind::kComment, j < 0 ? n : j);
    } else if (c == QLatin1Char('/') && i + 1 < n && s[i + 1] == QLatin1Char('*')) {
      const int j = s.indexOf(QLatin1String("*/"), i + 2);
      if (j < 0) Unterminated(QStringLiteral("a comment"));
      push(SqlToken::Kind::kComment, j + 2);
    } else if (c == QLatin1Char('\'')) {
      push(SqlToken::Kind::kString, QuotedEnd(s, i, c, QStringLiteral("a text")));
    } else if (c == QLatin1Char('"')) {
      push(dialect == SqlDialect::kJet ? SqlToken::Kind::kString : SqlToken::Kind::kQuotedName,
           QuotedEnd(s, i, c, QStringLiteral("a text")));
    } else if (c == QLatin1Char('`')) {
      push(SqlToken::Kind::kQuotedName, QuotedEnd(s, i, c, QStringLiteral("a name")));
    } else if (c == QLatin1Char('[')) {
      const int j = s.indexOf(QLatin1Char(']'), i + 1);
      if (j < 0) Unterminated(QStringLiteral("a bracketed name"));
      push(SqlToken::Kind::kQuotedName, j + 1);
    } else if (c == QLatin1Char('#') && dialect == SqlDialect::kJet) {
      const int j = s.indexOf(QLatin1Char('#'), i + 1);
      if (j < 0) Unterminated(QStringLiteral("a date"));
      push(SqlToken::Kind::kDate, j + 1);
    } else if (c.isDigit() || (c == QLatin1Char('.') && i + 1 < n && s[i + 1].isDigit())) {
      int j = i;
      while (j < n && (s[j].isDigit() || s[j] == QLatin1Char('.'))) ++j;
      if (j < n && (s[j] == QLatin1Char('e') || s[j] == QLatin1Char('E'))) {
        int k = j + 1;
        if (k < n && (s[k] == QLatin1Char('+') || s[k] == QLatin1Char('-'))) ++k;
        if (k < n && s[k].isDigit()) {
          while (k < n && s[k].isDigit()) ++k;
          j = k;
        }
      }
      push(SqlToken::Kind::kNumber, j);
    } else if (IsNameStart(c)) {
      int j = i;
      while (j < n && IsNamePart(s[j])) ++j;
      push(SqlToken::Kind::kName, j);
    } else {
      static const char* kPairs[] = {"<>", "<=", ">=", "!=", "==", "||", "<<", ">>"};
      int len = 1;
      for (const char* p : kPairs) {
        if (s.mid(i, 2) == QLatin1String(p)) len = 2;
      }
      push(SqlToken::Kind::kSymbol, i + len);
    }
  }
  return tokens;
}

QString UnquotedName(const SqlToken& token) {
  if (token.kind != SqlToken::Kind::kQuotedName) return token.text;
  const QString inner = token.text.mid(1, token.text.size() - 2);
  const QChar q = token.text[0];
  if (q == QLatin1Char('[')) return inner;
  QString doubled(2, q);
  QString result = inner;
  return result.replace(doubled, QString(q));
}

}  // namespace corvane
