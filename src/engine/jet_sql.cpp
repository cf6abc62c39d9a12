#include "engine/jet_sql.h"

#include <QDateTime>
#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "engine/engine_error.h"
#include "engine/jet_pg.h"
#include "engine/sql_tokens.h"
#include "engine/variant.h"

namespace corvane {

namespace {

using Kind = SqlToken::Kind;

// The value of a Jet string literal ('text' or "text", quotes doubled inside).
QString JetStringValue(const QString& jetString) {
  const QChar q = jetString[0];
  QString inner = jetString.mid(1, jetString.size() - 2);
  inner.replace(QString(q) + q, QString(q));
  return inner;
}

QString SqlString(const QString& jetString) {
  QString inner = JetStringValue(jetString);
  inner.replace(QLatin1Char('\''), QLatin1String("''"));
  return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

QString SqlName(const SqlToken& token) {
  QString name = UnquotedName(token);
  name.replace(QLatin1Char('"'), QLatin1String("\"\""));
  return QLatin1Char('"') + name + QLatin1Char('"');
}

// Output pieces; blanks are kept so that the text reads as the client wrote it.
struct Piece {
  Kind kind;
  QString text;
  bool textColumn = false;  // a column that holds text (known for PostgreSQL only)
  bool likeRegex = false;   // a Like pattern already written as a regular expression
};

// Whether a piece ends the pattern that follows Like: the pattern is everything up to it.
bool EndsLikePattern(Kind kind, const QString& text) {
  if (kind == Kind::kSymbol) {
    for (const char* s : {")", ",", ";", "=", "<", ">", "<=", ">=", "<>", "!=", "=="}) {
      if (text == QLatin1String(s)) return true;
    }
    return false;
  }
  if (kind != Kind::kName) return false;
  if (text.startsWith(QLatin1String("LIMIT"), Qt::CaseInsensitive)) return true;
  for (const char* w :
       {"AND",   "OR",    "THEN",   "ELSE",    "WHEN",   "END",       "FROM", "WHERE",
        "ORDER", "GROUP", "HAVING", "UNION",   "EXCEPT", "INTERSECT", "AS",   "ASC",
        "DESC",  "IS",    "LIKE",   "BETWEEN", "IN",     "ON"}) {
    if (text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

// Appends pieces written as '`'-separated parts: "(", ")" and "," are symbols, " " a blank,
// a quoted part a literal, anything else a name.
void AppendPieces(std::vector<Piece>& out, const QString& parts) {
  for (const QString& part : parts.split(QLatin1Char('`'), Qt::SkipEmptyParts)) {
    if (part == QLatin1String("(") || part == QLatin1String(")") || part == QLatin1String(",")) {
      out.push_back({Kind::kSymbol, part});
    } else if (part.trimmed().isEmpty()) {
      out.push_back({Kind::kSpace, part});
    } else if (part.startsWith(QLatin1Char('\''))) {
      out.push_back({Kind::kNumber, part});
    } else {
      out.push_back({Kind::kName, part});
    }
  }
}

// SQLite's NOCASE for PostgreSQL: ASCII letters folded, then compared by code point.
const QString kFoldOpen = QStringLiteral("translate`(`CAST`(");
const QString kFoldClose = QStringLiteral(
    " `AS` `text`)`,` `'ABCDEFGHIJKLMNOPQRSTUVWXYZ'`,` `'abcdefghijklmnopqrstuvwxyz'`)` `COLLATE` "
    "`\"C\"");

bool IsBlank(const Piece& p) { return p.kind == Kind::kSpace || p.kind == Kind::kComment; }

bool IsSymbolPiece(const Piece& p, const char* symbol) {
  return p.kind == Kind::kSymbol && p.text == QLatin1String(symbol);
}

int PrevSolid(const std::vector<Piece>& out, int from) {
  for (int i = from; i >= 0; --i) {
    if (!IsBlank(out[i])) return i;
  }
  return -1;
}

// For every "(" and ")" piece the index of its partner, -1 for the others and for a
// parenthesis without one. Found once, so that no rewrite rescans a group.
std::vector<int> MatchParentheses(const std::vector<Piece>& out) {
  std::vector<int> match(out.size(), -1);
  std::vector<int> open;
  for (int i = 0; i < static_cast<int>(out.size()); ++i) {
    if (IsSymbolPiece(out[i], "(")) {
      open.push_back(i);
    } else if (IsSymbolPiece(out[i], ")") && !open.empty()) {
      match[i] = open.back();
      match[open.back()] = i;
      open.pop_back();
    }
  }
  return match;
}

bool IsPiece(const Piece& p, Kind kind, const char* text) {
  return p.kind == kind && p.text.compare(QLatin1String(text), Qt::CaseInsensitive) == 0;
}

// Where the operand ending at out[end] starts, stepping over groups and calls, as far as a
// comparison, a comma, an opening parenthesis or a keyword; -1 when there is none. Used for
// the left side of a comparison or Like, so arithmetic and & stay inside.
int LeftOperandStart(const std::vector<Piece>& out, const std::vector<int>& match, int end) {
  int start = -1;
  for (int j = end; j >= 0; --j) {
    const Piece& p = out[j];
    if (IsBlank(p)) continue;
    if (IsSymbolPiece(p, ")")) {
      if (match[j] < 0) return -1;
      start = j = match[j];
      continue;
    }
    if (p.kind == Kind::kSymbol) {
      bool stops = false;
      for (const char* b : {",", "(", "=", "<", ">", "<=", ">=", "<>", "!=", "==", ";", "~*"}) {
        stops = stops || p.text == QLatin1String(b);
      }
      if (stops) break;
    }
    if (p.kind == Kind::kName) {
      bool stops = false;
      for (const char* w : {"AND",  "OR",     "NOT",  "LIKE",  "BETWEEN", "IN",   "IS",  "SELECT",
                            "FROM", "WHERE",  "AS",   "THEN",  "ELSE",    "WHEN", "END", "ON",
                            "BY",   "HAVING", "CASE", "LIMIT", "~*",      "!~*"}) {
        stops = stops || p.text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0;
      }
      if (stops) break;
    }
    start = j;
  }
  return start;
}

// Pieces rendered around ranges of out: `before[i]` ahead of out[i], `after[i]` behind it.
std::vector<Piece> Surround(const std::vector<Piece>& out, const std::vector<QString>& before,
                            const std::vector<QString>& after) {
  std::vector<Piece> result;
  result.reserve(out.size() + 16);
  for (size_t i = 0; i < out.size(); ++i) {
    AppendPieces(result, before[i]);
    result.push_back(out[i]);
    AppendPieces(result, after[i]);
  }
  return result;
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

// PostgreSQL has no Like with Jet's wildcards and case rule: `a Like 'p'` becomes
// CAST(a AS text) ~* 'regex', Not Like !~*.
void RewritePgLike(std::vector<Piece>& out) {
  const std::vector<int> match = MatchParentheses(out);
  const int n = static_cast<int>(out.size());
  std::vector<QString> before(n), after(n);
  for (int k = 0; k < n; ++k) {
    if (!IsPiece(out[k], Kind::kName, "LIKE")) continue;
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
      before[next] += kLikeRegexOpen;
      after[last] += kLikeRegexClose;
    }
    int end = PrevSolid(out, k - 1);
    bool negated = false;
    if (end >= 0 && IsPiece(out[end], Kind::kName, "NOT")) {
      negated = true;
      out[end] = {Kind::kSpace, QString()};
      end = PrevSolid(out, end - 1);
    }
    const int start = LeftOperandStart(out, match, end);
    if (start < 0) {
      throw EngineError(engine_error::kSyntaxError,
                        QStringLiteral("Syntax error in expression: Like needs two operands."));
    }
    out[k] = {Kind::kName, negated ? QStringLiteral("!~*") : QStringLiteral("~*")};
    before[start] += QStringLiteral("CAST`(");
    after[end] += QStringLiteral(" `AS` `text`)");
  }
  out = Surround(out, before, after);
}

// Jet compares and sorts texts without regard to case: a text literal compared with
// =, <>, <, > and every ORDER BY term get SQLite's NOCASE collation (kept portable, so
// that stored queries stay readable by other SQLite programs).
//
// PostgreSQL has no such collation built in, so both sides of such a comparison, and every
// ORDER BY term that is a text column, are folded as NOCASE folds (kFoldOpen/kFoldClose);
// Nulls come first in ascending order there too.
void CompareTextWithoutCase(std::vector<Piece>& out, bool pg) {
  const Piece collate{Kind::kName, QStringLiteral(" COLLATE NOCASE")};
  if (pg) {
    const std::vector<int> match = MatchParentheses(out);
    const int n = static_cast<int>(out.size());
    std::vector<QString> before(n), after(n);
    int previous = -1;
    for (int i = 0; i < n; ++i) {
      const int op = previous;
      if (!IsBlank(out[i])) previous = i;
      if (out[i].kind != Kind::kString || op < 0 || out[op].kind != Kind::kSymbol) continue;
      bool compares = false;
      for (const char* c : {"=", "<>", "!=", "<", ">", "<=", ">="}) {
        compares = compares || out[op].text == QLatin1String(c);
      }
      if (!compares) continue;
      const int end = PrevSolid(out, op - 1);
      const int start = LeftOperandStart(out, match, end);
      if (start < 0) continue;
      before[start] += kFoldOpen;
      after[end] += kFoldClose;
      before[i] += kFoldOpen;
      after[i] += kFoldClose;
    }
    out = Surround(out, before, after);
  }
  std::vector<Piece> result;
  result.reserve(out.size() + 8);
  int before = -1;  // the last solid piece of out so far
  for (size_t i = 0; i < out.size(); ++i) {
    result.push_back(out[i]);
    const int previous = before;
    if (!IsBlank(out[i])) before = static_cast<int>(i);
    if (pg || out[i].kind != Kind::kString) continue;
    if (previous < 0 || out[previous].kind != Kind::kSymbol) continue;
    for (const char* op : {"=", "<>", "!=", "<", ">", "<=", ">="}) {
      if (out[previous].text == QLatin1String(op)) {
        result.push_back(collate);
        break;
      }
    }
  }
  out = std::move(result);

  // ORDER BY terms: end at ',' or where the clause ends at the same depth.
  result.clear();
  std::vector<int> orderDepths;  // depths at which an ORDER BY clause is open
  // Depths whose query is DISTINCT or a UNION (EXCEPT, INTERSECT): PostgreSQL sorts those
  // only by their output columns, so a folded term would be refused there.
  std::vector<bool> outputOnly(1, false);
  int depth = 0;
  int lastSolid = -1;  // index in result of the term's last solid piece
  int termStart = -1;  // and of its first
  auto closeTerm = [&]() {
    if (lastSolid < 0) return;
    int at = lastSolid;
    const bool descending = IsPiece(result[at], Kind::kName, "DESC");
    if (descending || IsPiece(result[at], Kind::kName, "ASC")) at = PrevSolid(result, at - 1);
    if (pg && at >= 0) {
      std::vector<Piece> nulls;
      AppendPieces(nulls,
                   descending ? QStringLiteral(" `NULLS LAST") : QStringLiteral(" `NULLS FIRST"));
      result.insert(result.begin() + lastSolid + 1, nulls.begin(), nulls.end());
      // A column alone (perhaps qualified) whose values are texts.
      bool column = result[at].textColumn;
      for (int j = termStart; column && j < at; ++j) {
        column = IsBlank(result[j]) || IsSymbolPiece(result[j], ".") ||
                 result[j].kind == Kind::kName || result[j].kind == Kind::kQuotedName;
      }
      if (column && !outputOnly[depth]) {
        std::vector<Piece> open, close;
        AppendPieces(open, kFoldOpen);
        AppendPieces(close, kFoldClose);
        result.insert(result.begin() + at + 1, close.begin(), close.end());
        result.insert(result.begin() + termStart, open.begin(), open.end());
      }
    } else if (at >= 0) {
      result.insert(result.begin() + at + 1, collate);
    }
    lastSolid = -1;
  };
  for (size_t i = 0; i < out.size(); ++i) {
    const Piece& p = out[i];
    const bool inOrder = !orderDepths.empty() && orderDepths.back() == depth;
    if (inOrder) {
      const bool endsClause =
          (p.kind == Kind::kSymbol &&
           (p.text == QLatin1String(")") || p.text == QLatin1String(";"))) ||
          (p.kind == Kind::kName &&
           (p.text.startsWith(QLatin1String("LIMIT"), Qt::CaseInsensitive) ||
            IsPiece(p, Kind::kName, "UNION") || IsPiece(p, Kind::kName, "EXCEPT") ||
            IsPiece(p, Kind::kName, "INTERSECT")));
      if (endsClause || (p.kind == Kind::kSymbol && p.text == QLatin1String(","))) closeTerm();
      if (endsClause) orderDepths.pop_back();
    }
    if (p.kind == Kind::kSymbol && p.text == QLatin1String("(")) {
      ++depth;
      outputOnly.resize(depth + 1);
      outputOnly[depth] = false;
    }
    if (p.kind == Kind::kSymbol && p.text == QLatin1String(")") && depth > 0) --depth;
    if (IsPiece(p, Kind::kName, "DISTINCT") || IsPiece(p, Kind::kName, "UNION") ||
        IsPiece(p, Kind::kName, "EXCEPT") || IsPiece(p, Kind::kName, "INTERSECT")) {
      outputOnly[depth] = true;
    }
    result.push_back(p);
    if (IsPiece(p, Kind::kName, "BY")) {
      const int before = PrevSolid(result, static_cast<int>(result.size()) - 2);
      if (before >= 0 && IsPiece(result[before], Kind::kName, "ORDER")) {
        orderDepths.push_back(depth);
        lastSolid = -1;
        continue;
      }
    }
    if (!orderDepths.empty() && orderDepths.back() == depth && p.kind != Kind::kSpace &&
        p.kind != Kind::kComment && !(p.kind == Kind::kSymbol && p.text == QLatin1String(","))) {
      if (lastSolid < 0) termStart = static_cast<int>(result.size()) - 1;
      lastSolid = static_cast<int>(result.size()) - 1;
    }
  }
  if (!orderDepths.empty()) closeTerm();
  out = std::move(result);
}

bool EndsOperand(const Piece& p) {
  if (p.kind == Kind::kSymbol) {
    for (const char* b : {",", "(", ")", "=", "<", ">", "<=", ">=", "<>", "!=", "==", ";", "&"}) {
      if (p.text == QLatin1String(b)) return true;
    }
    return false;
  }
  if (p.kind != Kind::kName) return false;
  for (const char* w : {"AND",   "OR",    "NOT", "LIKE",   "BETWEEN", "IN",   "IS",   "SELECT",
                        "FROM",  "WHERE", "AS",  "THEN",   "ELSE",    "WHEN", "END",  "ON",
                        "ORDER", "GROUP", "BY",  "HAVING", "ASC",     "DESC", "CASE", "LIMIT"}) {
    if (p.text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

// The solid pieces nearest to and farthest from out[at] of the operand beside it, walking
// by `step` (-1 to the left, 1 to the right); {-1, -1} when there is none. A group is
// stepped over whole; a parenthesis without a partner takes everything up to that end of
// the text (`edge`, the first or last solid piece) into the operand.
std::pair<int, int> OperandBeside(const std::vector<Piece>& out, const std::vector<int>& match,
                                  int at, int step, int edge) {
  const char* group = step < 0 ? ")" : "(";
  int nearest = -1, farthest = -1;
  for (int j = at + step; j >= 0 && j < static_cast<int>(out.size()); j += step) {
    const Piece& p = out[j];
    if (IsSymbolPiece(p, group)) {
      if (nearest < 0) nearest = j;
      if (match[j] < 0) return {nearest, edge};
      j = match[j];
    } else if (EndsOperand(p)) {
      break;
    }
    if (!IsBlank(p)) {
      farthest = j;
      if (nearest < 0) nearest = j;
    }
  }
  return {nearest, farthest};
}

// Jet's & binds more loosely than arithmetic, SQLite's || more tightly, and & reads
// Null as the empty text: each operand of & becomes ifnull(operand, '') around ||.
void WrapConcatenation(std::vector<Piece>& out, bool pg) {
  const int n = static_cast<int>(out.size());
  std::vector<int> opens(n, 0), closes(n, 0);
  bool any = false;
  for (int at = 0; at < n && !any; ++at) any = IsSymbolPiece(out[at], "&");
  if (!any) return;
  const std::vector<int> match = MatchParentheses(out);
  int firstSolid = 0, lastSolid = n - 1;
  while (firstSolid < n && IsBlank(out[firstSolid])) ++firstSolid;
  while (lastSolid >= 0 && IsBlank(out[lastSolid])) --lastSolid;
  for (int at = 0; at < n; ++at) {
    if (!IsSymbolPiece(out[at], "&")) continue;
    const auto [leftEnd, start] = OperandBeside(out, match, at, -1, firstSolid);
    const auto [rightStart, end] = OperandBeside(out, match, at, 1, lastSolid);
    if (start < 0 || end < 0) {
      throw EngineError(engine_error::kSyntaxError,
                        QStringLiteral("Syntax error in expression: '&' needs two operands."));
    }
    // An operand between two & is wrapped once.
    opens[start] = 1;
    closes[leftEnd] = 1;
    opens[rightStart] = 1;
    closes[end] = 1;
  }
  std::vector<Piece> wrapped;
  for (int i = 0; i < n; ++i) {
    if (opens[i]) {
      wrapped.push_back(
          {Kind::kName, pg ? QStringLiteral("coalesce(CAST(") : QStringLiteral("ifnull(")});
    }
    if (out[i].kind == Kind::kSymbol && out[i].text == QLatin1String("&")) {
      wrapped.push_back({Kind::kSymbol, QStringLiteral("||")});
    } else {
      wrapped.push_back(out[i]);
    }
    if (closes[i]) {
      wrapped.push_back(
          {Kind::kSymbol, pg ? QStringLiteral(" AS text), '')") : QStringLiteral(", '')")});
    }
  }
  out = std::move(wrapped);
}

// Words of the Jet SQL clients write that are never a table's or column's name.
bool IsSqlKeyword(const QString& word) {
  for (const char* w :
       {"SELECT",    "FROM",    "WHERE",   "AND",   "OR",    "NOT",    "LIKE",   "IN",
        "IS",        "NULL",    "BETWEEN", "AS",    "ON",    "JOIN",   "INNER",  "LEFT",
        "RIGHT",     "OUTER",   "ORDER",   "GROUP", "BY",    "HAVING", "ASC",    "DESC",
        "DISTINCT",  "ALL",     "UNION",   "CASE",  "WHEN",  "THEN",   "ELSE",   "END",
        "LIMIT",     "EXISTS",  "CROSS",   "FULL",  "USING", "OFFSET", "ESCAPE", "EXCEPT",
        "INTERSECT", "COLLATE", "CAST"}) {
    if (word.compare(QLatin1String(w), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

// Start index of the operand that ends at out[end]: a name, a call, a group, a.b chains.
int OperandStart(const std::vector<Piece>& out, const std::vector<int>& match, int end) {
  if (end < 0) return -1;
  int i = end;
  if (IsSymbolPiece(out[i], ")")) {
    i = match[i];
    if (i < 0) return -1;
    // A function's name, not the ifnull( written around an operand of &, nor a keyword
    // ahead of a group (SELECT (a + 1) \ 2).
    const int before = PrevSolid(out, i - 1);
    if (before >= 0 && out[before].kind == Kind::kName &&
        !out[before].text.endsWith(QLatin1Char('(')) &&
        (!IsSqlKeyword(out[before].text) || IsPiece(out[before], Kind::kName, "CAST")))
      i = before;
  }
  while (true) {
    const int dot = PrevSolid(out, i - 1);
    if (dot < 0 || !IsSymbolPiece(out[dot], ".")) break;
    const int name = PrevSolid(out, dot - 1);
    if (name < 0) break;
    i = name;
  }
  return i;
}

// The text of out with every a \ b written jet_intdiv(a, b). The operands are found right
// to left, so that a \ b \ c reads a \ (b \ c), and an operand that is itself such a
// division is taken whole. The rewrite only marks where calls open and close, so that long
// texts are not copied again for every division.
//
// PostgreSQL: int8(div((round(float8(a)))::numeric, (round(float8(b)))::numeric)), the same
// rounding half to even and division without remainder.
QString RenderWithIntegerDivision(std::vector<Piece>& out, bool pg) {
  const int n = static_cast<int>(out.size());
  std::vector<int> divisions;
  for (int k = 0; k < n; ++k) {
    if (IsSymbolPiece(out[k], "\\")) divisions.push_back(k);
  }
  if (divisions.empty()) {
    QString result;
    for (const Piece& p : out) result += p.text;
    return result;
  }
  const std::vector<int> match = MatchParentheses(out);
  std::vector<int> opens(n, 0), closes(n, 0);
  std::vector<int> divisionEnd(n, -1);  // where a division already rewritten ends
  std::vector<bool> dropped(n, false);
  for (auto it = divisions.rbegin(); it != divisions.rend(); ++it) {
    const int at = *it;
    const int leftEnd = PrevSolid(out, at - 1);
    const int leftStart = OperandStart(out, match, leftEnd);
    int rightStart = at + 1;
    while (rightStart < n && IsBlank(out[rightStart])) ++rightStart;
    int rightEnd = rightStart;
    if (rightEnd < n && (IsSymbolPiece(out[rightEnd], "-") || IsSymbolPiece(out[rightEnd], "+")))
      ++rightEnd;
    if (leftStart < 0 || rightEnd >= n) {
      throw EngineError(engine_error::kSyntaxError,
                        QStringLiteral("Syntax error in expression: '\\' needs two operands."));
    }
    // A division rewritten before, a name followed by a call, or a parenthesised group.
    int k = rightEnd;
    const bool division = divisionEnd[k] >= 0;
    if (division) k = divisionEnd[k];
    int probe = k + 1;
    while (probe < n && out[probe].kind == Kind::kSpace) ++probe;
    const bool isCall =
        (division || out[k].kind == Kind::kName) && probe < n && IsSymbolPiece(out[probe], "(");
    if (isCall) k = probe;
    if ((isCall || !division) && IsSymbolPiece(out[k], "(")) k = match[k] < 0 ? n - 1 : match[k];
    rightEnd = std::min(k, n - 1);
    ++opens[leftStart];
    for (int j = leftEnd + 1; j < rightStart; ++j) dropped[j] = true;
    ++closes[rightEnd];
    out[at].text = pg ? QStringLiteral(")))::numeric, (round(float8(") : QStringLiteral(", ");
    dropped[at] = false;
    divisionEnd[leftStart] = std::max(divisionEnd[leftStart], rightEnd);
  }
  QString result;
  for (int i = 0; i < n; ++i) {
    for (int c = 0; c < opens[i]; ++c) {
      result += pg ? QLatin1String("int8(div((round(float8(") : QLatin1String("jet_intdiv(");
    }
    if (!dropped[i]) result += out[i].text;
    for (int c = 0; c < closes[i]; ++c) {
      result += pg ? QLatin1String(")))::numeric))") : QLatin1String(")");
    }
  }
  return result;
}

}  // namespace

QString JetDateLiteral(const QString& inside) {
  const QString t = inside.trimmed();
  static const char* kDateForms[] = {"M/d/yyyy",   "M/d/yy",      "yyyy-M-d",    "yyyy/M/d",
                                     "d-MMM-yyyy", "MMM d, yyyy", "MMMM d, yyyy"};
  static const char* kTimeForms[] = {"H:mm:ss",   "H:mm",   "h:mm:ss AP", "h:mm AP",
                                     "h:mm:ssAP", "h:mmAP", "h AP"};
  QString datePart = t, timePart;
  const int blank = t.indexOf(QLatin1Char(' '));
  QDate date;
  QTime time(0, 0);
  for (const char* f : kDateForms) {
    date = QDate::fromString(t, QLatin1String(f));
    if (date.isValid()) break;
  }
  if (!date.isValid() && blank > 0) {
    datePart = t.left(blank);
    timePart = t.mid(blank + 1).trimmed();
    for (const char* f : kDateForms) {
      date = QDate::fromString(datePart, QLatin1String(f));
      if (date.isValid()) break;
    }
    time = QTime();
    for (const char* f : kTimeForms) {
      time = QTime::fromString(timePart.toUpper(), QLatin1String(f));
      if (time.isValid()) break;
    }
  }
  if (!date.isValid() && blank < 0) {
    // A time only: Jet's day zero.
    for (const char* f : kTimeForms) {
      time = QTime::fromString(t.toUpper(), QLatin1String(f));
      if (time.isValid()) break;
    }
    if (time.isValid()) date = QDate(1899, 12, 30);
  }
  if (!date.isValid() || !time.isValid()) {
    throw EngineError(engine_error::kSyntaxError,
                      QStringLiteral("Syntax error in date in expression: #%1#.").arg(inside));
  }
  if (date.year() < 100) date = date.addYears(date.year() < 30 ? 2000 : 1900);
  return QLatin1Char('\'') + DateTimeToStoredText(WallClock(date, time)) + QLatin1Char('\'');
}

void CheckClientJetSqlLength(const QString& jet) {
  if (jet.size() <= kClientJetSqlLimit) return;
  throw EngineError(engine_error::kSyntaxError,
                    QStringLiteral("The text is too long: %1 characters, at most %2 are allowed.")
                        .arg(jet.size())
                        .arg(kClientJetSqlLimit));
}

namespace {

// Words of the Jet SQL clients write that are never a table's or column's name.
bool IsKeyword(const SqlToken& t) {
  return t.kind == SqlToken::Kind::kName && IsSqlKeyword(t.text);
}

// For every "(" and ")" token the index of its partner, -1 without one.
std::vector<int> MatchTokenParentheses(const std::vector<SqlToken>& tokens) {
  std::vector<int> match(tokens.size(), -1);
  std::vector<int> open;
  for (int i = 0; i < static_cast<int>(tokens.size()); ++i) {
    if (tokens[i].isSymbol("(")) {
      open.push_back(i);
    } else if (tokens[i].isSymbol(")") && !open.empty()) {
      match[i] = open.back();
      match[open.back()] = i;
      open.pop_back();
    }
  }
  return match;
}

QString Translate(const QString& jet, JetPgTarget* pg) {
  const std::vector<SqlToken> tokens = TokenizeSql(jet, SqlDialect::kJet);
  // PostgreSQL's form of Jet's calls: pieces after a call's "(", for its commas, around its ")".
  const std::vector<int> tokenMatch = pg ? MatchTokenParentheses(tokens) : std::vector<int>();
  std::map<size_t, QString> afterOpen, commaAt, beforeClose, afterClose;
  // A value as a parameter, or as a literal where the statement is stored.
  auto value = [&](const QString& v) {
    if (pg->quote) return pg->quote(v);
    pg->params.emplace_back(v.toUtf8());
    return QLatin1Char('$') + QString::number(pg->params.size());
  };
  auto spelled = [&](const QString& name, Kind kind) -> Piece {
    const QString known = pg->spell ? pg->spell(name) : QString();
    if (known.isEmpty()) {
      if (kind == Kind::kName) return {Kind::kName, name};
      QString quoted = name;
      quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
      return {Kind::kQuotedName, QLatin1Char('"') + quoted + QLatin1Char('"')};
    }
    QString quoted = known;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return {Kind::kQuotedName, QLatin1Char('"') + quoted + QLatin1Char('"'),
            pg->isText && pg->isText(known)};
  };
  std::vector<Piece> out;
  out.reserve(tokens.size());
  std::map<int, QString> pendingLimit;  // paren depth -> LIMIT n of its SELECT TOP n
  int depth = 0;
  auto flushLimit = [&](int atDepth) {
    auto it = pendingLimit.find(atDepth);
    if (it == pendingLimit.end()) return;
    out.push_back({Kind::kSpace, QStringLiteral(" ")});
    out.push_back({Kind::kName, QStringLiteral("LIMIT ") + it->second});
    pendingLimit.erase(it);
  };
  // The next solid token after each token, found once: a run of comments is not walked
  // again for every token before it.
  std::vector<int> nextSolidAfter(tokens.size(), -1);
  for (int k = static_cast<int>(tokens.size()) - 2; k >= 0; --k) {
    nextSolidAfter[k] = tokens[k + 1].isBlank() ? nextSolidAfter[k + 1] : k + 1;
  }
  auto nextSolid = [&](size_t after) -> int {
    return after < tokens.size() ? nextSolidAfter[after] : -1;
  };
  int prev = -1;      // the last solid piece of out
  size_t looked = 0;  // how much of out was looked at for it

  for (size_t i = 0; i < tokens.size(); ++i) {
    const SqlToken& t = tokens[i];
    for (; looked < out.size(); ++looked) {
      if (!IsBlank(out[looked])) prev = static_cast<int>(looked);
    }
    const int next = nextSolid(i);
    const bool callFollows = next >= 0 && tokens[next].isSymbol("(");
    const bool afterDot =
        prev >= 0 && out[prev].kind == Kind::kSymbol && out[prev].text == QLatin1String(".");
    switch (t.kind) {
      case Kind::kString:
        if (pg) {
          const QString v = JetStringValue(t.text);
          // A text that is the whole pattern of a Like is written as its regular expression
          // here; a pattern that goes on (`'*' & name`) is made into one by the statement.
          const bool pattern = prev >= 0 && IsPiece(out[prev], Kind::kName, "LIKE") &&
                               (next < 0 || EndsLikePattern(tokens[next].kind, tokens[next].text));
          Piece piece{Kind::kString, value(pattern ? JetLikeRegex(v) : v)};
          piece.likeRegex = pattern;
          out.push_back(piece);
        } else {
          out.push_back({Kind::kString, SqlString(t.text)});
        }
        break;
      case Kind::kQuotedName:
        out.push_back(pg ? spelled(UnquotedName(t), Kind::kQuotedName)
                         : Piece{Kind::kQuotedName, SqlName(t)});
        break;
      case Kind::kDate: {
        const QString date = JetDateLiteral(t.text.mid(1, t.text.size() - 2));
        out.push_back(
            {Kind::kDate,
             pg ? value(date.mid(1, date.size() - 2)) + QStringLiteral("::timestamp") : date});
        break;
      }
      case Kind::kName:
        if (pg && !afterDot && callFollows) {
          const int open = next;
          const int close = tokenMatch[open];
          if (close < 0) {
            throw EngineError(engine_error::kSyntaxError,
                              QStringLiteral("Syntax error: a parenthesis is not closed."));
          }
          std::vector<size_t> commas;
          int level = 0;
          for (int k = open + 1; k < close; ++k) {
            if (tokens[k].isSymbol("(")) ++level;
            if (tokens[k].isSymbol(")")) --level;
            if (level == 0 && tokens[k].isSymbol(",")) commas.push_back(k);
          }
          const bool empty = nextSolid(open) == close;
          const int args = empty ? 0 : static_cast<int>(commas.size()) + 1;
          const std::optional<PgCall> call = PgCallFor(t.text, args);
          if (!call) {
            out.push_back({Kind::kName, t.text});
            break;
          }
          AppendPieces(out, call->head);
          if (call->dropParens) {
            i = close;
            break;
          }
          afterOpen[open] = call->afterOpen;
          for (size_t c = 0; c < commas.size() && !call->commas.isEmpty(); ++c) {
            commaAt[commas[c]] = call->commas[std::min<qsizetype>(c, call->commas.size() - 1)];
          }
          beforeClose[close] = call->beforeClose;
          afterClose[close] = call->tail;
        } else if (pg && (afterDot || !IsKeyword(t)) && !t.isWord("TRUE") && !t.isWord("FALSE") &&
                   !t.isWord("YES") && !t.isWord("NO") && !t.isWord("MOD") &&
                   !t.isWord("DISTINCTROW") && !t.isWord("TOP")) {
          out.push_back(spelled(t.text, Kind::kName));
        } else if (afterDot) {
          out.push_back({Kind::kName, t.text});
        } else if (t.isWord("DISTINCTROW")) {
          // Over one table DISTINCTROW changes nothing; drop it with its blank.
          if (next >= 0) i = next - 1;
        } else if (t.isWord("TOP") && prev >= 0 &&
                   (out[prev].text.compare(QLatin1String("SELECT"), Qt::CaseInsensitive) == 0 ||
                    out[prev].text.compare(QLatin1String("DISTINCT"), Qt::CaseInsensitive) == 0 ||
                    out[prev].text.compare(QLatin1String("ALL"), Qt::CaseInsensitive) == 0) &&
                   next >= 0 && tokens[next].kind == Kind::kNumber) {
          const int after = nextSolid(next);
          if (after >= 0 && tokens[after].isWord("PERCENT")) {
            throw EngineError(engine_error::kSyntaxError,
                              QStringLiteral("TOP n PERCENT is not supported."));
          }
          pendingLimit[depth] = tokens[next].text;
          i = next;
          if (i + 1 < tokens.size() && tokens[i + 1].kind == Kind::kSpace) ++i;
        } else if ((t.isWord("TRUE") || t.isWord("YES")) && !callFollows) {
          out.push_back({Kind::kNumber, pg ? QStringLiteral("TRUE") : QStringLiteral("1")});
        } else if ((t.isWord("FALSE") || t.isWord("NO")) && !callFollows) {
          out.push_back({Kind::kNumber, pg ? QStringLiteral("FALSE") : QStringLiteral("0")});
        } else if (t.isWord("MOD")) {
          out.push_back({Kind::kSymbol, QStringLiteral("%")});
        } else if (t.isWord("LEFT") && callFollows) {
          out.push_back({Kind::kName, QStringLiteral("jet_left")});
        } else if (t.isWord("RIGHT") && callFollows) {
          out.push_back({Kind::kName, QStringLiteral("jet_right")});
        } else {
          out.push_back({Kind::kName, t.text});
        }
        break;
      case Kind::kSymbol:
        if (t.text == QLatin1String("(")) {
          ++depth;
          out.push_back({Kind::kSymbol, t.text});
          if (pg && afterOpen.contains(i)) AppendPieces(out, afterOpen[i]);
        } else if (t.text == QLatin1String(")")) {
          flushLimit(depth);
          if (depth > 0) --depth;
          if (pg && beforeClose.contains(i)) AppendPieces(out, beforeClose[i]);
          out.push_back({Kind::kSymbol, t.text});
          if (pg && afterClose.contains(i)) AppendPieces(out, afterClose[i]);
        } else if (pg && commaAt.contains(i)) {
          AppendPieces(out, commaAt[i]);
        } else if (t.text == QLatin1String(";")) {
          flushLimit(depth);
          out.push_back({Kind::kSymbol, t.text});
        } else if (t.text == QLatin1String("&")) {
          out.push_back({Kind::kSymbol, t.text});  // becomes || below
        } else if (t.text == QLatin1String("!") && prev >= 0 &&
                   (out[prev].kind == Kind::kName || out[prev].kind == Kind::kQuotedName) &&
                   next >= 0 &&
                   (tokens[next].kind == Kind::kName || tokens[next].kind == Kind::kQuotedName)) {
          out.push_back({Kind::kSymbol, QStringLiteral(".")});
        } else if (t.text == QLatin1String("\\")) {
          out.push_back({Kind::kSymbol, t.text});
        } else if (pg && t.text.contains(QLatin1Char('$'))) {
          // PostgreSQL reads $n as a parameter and $tag$ as a text: neither is Jet's.
          throw EngineError(engine_error::kSyntaxError,
                            QStringLiteral("Syntax error in expression: '$' is not allowed."));
        } else {
          out.push_back({Kind::kSymbol, t.text});
        }
        break;
      case Kind::kComment:
        // PostgreSQL nests /* */ comments where Jet does not: a comment could swallow what
        // the server writes after the client's text.
        out.push_back(pg ? Piece{Kind::kSpace, QStringLiteral(" ")} : Piece{t.kind, t.text});
        break;
      default:
        out.push_back({t.kind, t.text});
        break;
    }
  }
  // Limits still pending belong to the outermost SELECT; put them before a final ';'.
  if (!pendingLimit.empty()) {
    int end = static_cast<int>(out.size());
    while (end > 0 &&
           (out[end - 1].kind == Kind::kSpace || out[end - 1].kind == Kind::kComment ||
            (out[end - 1].kind == Kind::kSymbol && out[end - 1].text == QLatin1String(";"))))
      --end;
    std::vector<Piece> tail(out.begin() + end, out.end());
    out.erase(out.begin() + end, out.end());
    for (auto& [d, n] : pendingLimit) {
      out.push_back({Kind::kSpace, QStringLiteral(" ")});
      out.push_back({Kind::kName, QStringLiteral("LIMIT ") + n});
    }
    out.insert(out.end(), tail.begin(), tail.end());
  }

  if (pg) RewritePgLike(out);
  CompareTextWithoutCase(out, pg != nullptr);
  WrapConcatenation(out, pg != nullptr);
  return RenderWithIntegerDivision(out, pg != nullptr);
}

}  // namespace

QString TranslateJetSql(const QString& jet) { return Translate(jet, nullptr); }

QString TranslateJetSqlForPostgres(const QString& jet, JetPgTarget& target) {
  return Translate(jet, &target);
}

QString StripTrailingSemicolons(QString sql) {
  sql = sql.trimmed();
  while (sql.endsWith(QLatin1Char(';'))) sql = sql.chopped(1).trimmed();
  return sql;
}

}  // namespace corvane
