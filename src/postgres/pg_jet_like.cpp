// Jet's Like on PostgreSQL: Jet's wildcards and its case rule, as regular expressions.
#include "postgres/pg_jet_like.h"

#include "engine/engine_error.h"

namespace corvane {

namespace {

using Kind = SqlToken::Kind;

// A character that stands for itself in a regular expression.
QString Literal(QChar c) {
  if (c.unicode() < 0x80 && !c.isLetterOrNumber() && c != QLatin1Char(' ')) {
    return QLatin1Char('\\') + QString(c);
  }
  return QString(c);
}

// The bracket at pattern[at] ('['): appends its class to `regex` and returns the index after
// its ']', or -1 when it is not closed (it then stands for itself). A ']' right after '[' or
// "[!" belongs to the class, as in the Jet matcher.
int Bracket(const QString& pattern, int at, QString& regex) {
  int i = at + 1;
  QString cls = QStringLiteral("[");
  if (i < pattern.size() && pattern[i] == QLatin1Char('!')) {
    cls += QLatin1Char('^');
    ++i;
  }
  bool first = true;
  while (i < pattern.size() && (pattern[i] != QLatin1Char(']') || first)) {
    first = false;
    if (i + 2 < pattern.size() && pattern[i + 1] == QLatin1Char('-') &&
        pattern[i + 2] != QLatin1Char(']')) {
      cls += Literal(pattern[i]) + QLatin1Char('-') + Literal(pattern[i + 2]);
      i += 3;
    } else {
      cls += Literal(pattern[i]);
      ++i;
    }
  }
  if (i >= pattern.size()) return -1;
  regex += cls + QLatin1Char(']');
  return i + 1;
}

// A Like pattern that is not a text written in the statement (a column, an expression) is
// turned into the regular expression by the statement itself: each bracket, wildcard and
// other character of the pattern's value is read in turn (regexp_matches) and written as
// JetLikeRegex writes it. A Null pattern gives Null.
const QString kLikeRegexOpen = QStringLiteral(
    "(`SELECT` `'^'` `||` `coalesce`(`(`SELECT` `string_agg`(`CASE` `WHEN` `m[3]` `IS` `NULL` "
    "`THEN` `'['` `||` `CASE` `WHEN` `m[1]` `IS` `NULL` `THEN` `''` `ELSE` `'^'` `END` `||` "
    "`coalesce`(`(`SELECT` `string_agg`(`CASE` `WHEN` `r[3]` `IS` `NULL` `THEN` "
    "`regexp_replace`(`r[1]`,` `'([!-/:-@\\[-\\x60{-~])'`,` `'\\\\\\1'`)` `||` `'-'` `||` "
    "`regexp_replace`(`r[2]`,` `'([!-/:-@\\[-\\x60{-~])'`,` `'\\\\\\1'`)` `ELSE` "
    "`regexp_replace`(`r[3]`,` `'([!-/:-@\\[-\\x60{-~])'`,` `'\\\\\\1'`)` `END`,` `''` "
    "`ORDER` `BY` `rn`)` `FROM` `regexp_matches`(`coalesce`(`m[1]`,` `m[2]`)`,` "
    "`'(.)-(.)|(.)'`,` `'g'`)` `WITH` `ORDINALITY` `AS` `corvane_r`(`r`,` `rn`)`)`,` `''`)` `||` "
    "`']'` `WHEN` `m[3]` `=` `'*'` `THEN` `'.*'` `WHEN` `m[3]` `=` `'?'` `THEN` `'.'` `WHEN` "
    "`m[3]` `=` `'#'` `THEN` `'[0-9]'` `ELSE` `regexp_replace`(`m[3]`,` "
    "`'([!-/:-@\\[-\\x60{-~])'`,` `'\\\\\\1'`)` `END`,` `''` `ORDER` `BY` `mn`)` `FROM` "
    "`regexp_matches`(`corvane_l.p`,` `'\\[!(.[^]]*)\\]|\\[([^!][^]]*)\\]|(.)'`,` `'g'`)` "
    "`WITH` `ORDINALITY` `AS` `corvane_m`(`m`,` `mn`)`)`,` `''`)` `||` `'$'` `||` "
    "`left`(`corvane_l.p`,` `0`)` `FROM` `(`SELECT` `CAST`(");
const QString kLikeRegexClose = QStringLiteral(" `AS` `text`)` `AS` `p`)` `AS` `corvane_l`)");

}  // namespace

void RewritePgLike(JetPieces& out) {
  const std::vector<int> match = MatchParentheses(out);
  const int n = static_cast<int>(out.size());
  JetInsertions insertions;
  for (int k = 0; k < n; ++k) {
    if (!IsWordPiece(out[k], "LIKE")) continue;
    int next = k + 1;
    while (next < n && IsBlank(out[next])) ++next;
    if (next >= n || EndsLikePattern(out[next].kind, out[next].text)) {
      throw EngineError(engine_error::kSyntaxError,
                        QStringLiteral("Syntax error in expression: Like needs a pattern."));
    }
    if (!out[next].likeRegex) {
      // The pattern runs to the end of its operand, groups and calls stepped over.
      int last = next;
      for (int j = next; j < n; ++j) {
        if (IsBlank(out[j])) continue;
        if (EndsLikePattern(out[j].kind, out[j].text)) break;
        if (IsSymbolPiece(out[j], "(")) j = match[j] < 0 ? n - 1 : match[j];
        last = j;
      }
      insertions.Before(next, kLikeRegexOpen);
      insertions.After(last, kLikeRegexClose);
    }
    int end = PrevSolid(out, k - 1);
    bool negated = false;
    if (end >= 0 && IsWordPiece(out[end], "NOT")) {
      negated = true;
      out[end] = {Kind::kSpace, QString()};
      end = PrevSolid(out, end - 1);
    }
    const int start = LeftOperandStart(out, match, end);
    if (start < 0) {
      throw EngineError(engine_error::kSyntaxError,
                        QStringLiteral("Syntax error in expression: Like needs two operands."));
    }
    const bool plain = out[next].likePlain;
    if (plain) {
      out[k] = {Kind::kName, negated ? QStringLiteral("NOT LIKE") : QStringLiteral("LIKE")};
      // LIKE binds less tightly than ~*: in parentheses it takes the place ~* had.
      insertions.After(next, QStringLiteral(")"));
    } else {
      out[k] = {Kind::kName, negated ? QStringLiteral("!~*") : QStringLiteral("~*")};
    }
    insertions.Before(start, plain ? QStringLiteral("(`CAST`(") : QStringLiteral("CAST`("));
    insertions.After(end, QStringLiteral(" `AS` `text`)"));
  }
  insertions.Apply(out);
}

QString JetLikeRegex(const QString& pattern) {
  QString regex = QStringLiteral("^");
  for (int i = 0; i < pattern.size();) {
    const QChar c = pattern[i];
    if (c == QLatin1Char('*')) {
      regex += QLatin1String(".*");
    } else if (c == QLatin1Char('?')) {
      regex += QLatin1Char('.');
    } else if (c == QLatin1Char('#')) {
      regex += QLatin1String("[0-9]");
    } else if (c == QLatin1Char('[')) {
      const int next = Bracket(pattern, i, regex);
      if (next >= 0) {
        i = next;
        continue;
      }
      regex += Literal(c);
    } else {
      regex += Literal(c);
    }
    ++i;
  }
  return regex + QLatin1Char('$');
}

std::optional<QString> JetPlainLike(const QString& pattern) {
  QString like;
  like.reserve(pattern.size() + 4);
  for (const QChar c : pattern) {
    if (c == QLatin1Char('*')) {
      like += QLatin1Char('%');
    } else if (c == QLatin1Char('?')) {
      like += QLatin1Char('_');
    } else if (c.unicode() >= 0x80 || c.isLetter() || c == QLatin1Char('#') ||
               c == QLatin1Char('[')) {
      return std::nullopt;
    } else {
      // LIKE's own wildcards and its escape stand for themselves.
      if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\')) {
        like += QLatin1Char('\\');
      }
      like += c;
    }
  }
  return like;
}

}  // namespace corvane
