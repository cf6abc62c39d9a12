#include "engine/jet_rewrites.h"

#include <algorithm>
#include <utility>

#include "engine/engine_error.h"

namespace corvane {

namespace {

using Kind = SqlToken::Kind;

// The text literals that follow a comparison (=, <>, <, > ...).
std::vector<int> ComparedTexts(const JetPieces& out) {
  std::vector<int> literals;
  int previous = -1;  // the last solid piece so far
  for (int i = 0; i < static_cast<int>(out.size()); ++i) {
    const int op = previous;
    if (!IsBlank(out[i])) previous = i;
    if (out[i].kind != Kind::kString || op < 0 || out[op].kind != Kind::kSymbol) continue;
    for (const char* c : {"=", "<>", "!=", "<", ">", "<=", ">="}) {
      if (out[op].text == QLatin1String(c)) {
        literals.push_back(i);
        break;
      }
    }
  }
  return literals;
}

bool EndsOrderClause(const JetPiece& p) {
  return (p.kind == Kind::kSymbol &&
          (p.text == QLatin1String(")") || p.text == QLatin1String(";"))) ||
         (p.kind == Kind::kName &&
          (p.text.startsWith(QLatin1String("LIMIT"), Qt::CaseInsensitive) ||
           IsWordPiece(p, "UNION") || IsWordPiece(p, "EXCEPT") || IsWordPiece(p, "INTERSECT")));
}

// Hands every ORDER BY term to the writer: a term ends at ',' or where its clause ends at
// the same depth.
void SortWithoutCase(JetPieces& out, const JetSqlWriter& writer) {
  JetPieces result;
  result.reserve(out.size() + 8);
  std::vector<int> orderDepths;  // depths at which an ORDER BY clause is open
  // Depths whose query is DISTINCT or a UNION (EXCEPT, INTERSECT).
  std::vector<bool> outputOnly(1, false);
  int depth = 0;
  int lastSolid = -1;  // index in result of the term's last solid piece
  int termStart = -1;  // and of its first
  auto closeTerm = [&]() {
    if (lastSolid < 0) return;
    int at = lastSolid;
    const bool descending = IsWordPiece(result[at], "DESC");
    if (descending || IsWordPiece(result[at], "ASC")) at = PrevSolid(result, at - 1);
    if (at >= 0) {
      writer.OrderTerm(result, {termStart, at, lastSolid, descending, outputOnly[depth]});
    }
    lastSolid = -1;
  };
  for (JetPiece& p : out) {
    const bool inOrder = !orderDepths.empty() && orderDepths.back() == depth;
    if (inOrder) {
      const bool endsClause = EndsOrderClause(p);
      if (endsClause || IsSymbolPiece(p, ",")) closeTerm();
      if (endsClause) orderDepths.pop_back();
    }
    if (IsSymbolPiece(p, "(")) {
      ++depth;
      outputOnly.resize(depth + 1);
      outputOnly[depth] = false;
    }
    if (IsSymbolPiece(p, ")") && depth > 0) --depth;
    if (IsWordPiece(p, "DISTINCT") || IsWordPiece(p, "UNION") || IsWordPiece(p, "EXCEPT") ||
        IsWordPiece(p, "INTERSECT")) {
      outputOnly[depth] = true;
    }
    const bool solid = !IsBlank(p) && !IsSymbolPiece(p, ",");
    result.push_back(std::move(p));
    const int last = static_cast<int>(result.size()) - 1;
    if (IsWordPiece(result[last], "BY")) {
      const int before = PrevSolid(result, last - 1);
      if (before >= 0 && IsWordPiece(result[before], "ORDER")) {
        orderDepths.push_back(depth);
        lastSolid = -1;
        continue;
      }
    }
    if (!orderDepths.empty() && orderDepths.back() == depth && solid) {
      if (lastSolid < 0) termStart = last;
      lastSolid = last;
    }
  }
  if (!orderDepths.empty()) closeTerm();
  out = std::move(result);
}

bool EndsOperand(const JetPiece& p) {
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
std::pair<int, int> OperandBeside(const JetPieces& out, const std::vector<int>& match, int at,
                                  int step, int edge) {
  const char* group = step < 0 ? ")" : "(";
  int nearest = -1, farthest = -1;
  for (int j = at + step; j >= 0 && j < static_cast<int>(out.size()); j += step) {
    const JetPiece& p = out[j];
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

// Start index of the operand that ends at out[end]: a name, a call, a group, a.b chains.
int OperandStart(const JetPieces& out, const std::vector<int>& match, int end) {
  if (end < 0) return -1;
  int i = end;
  if (IsSymbolPiece(out[i], ")")) {
    i = match[i];
    if (i < 0) return -1;
    // A function's name, not what is written around an operand of & (it ends with its
    // "("), nor a keyword ahead of a group (SELECT (a + 1) \ 2).
    const int before = PrevSolid(out, i - 1);
    if (before >= 0 && out[before].kind == Kind::kName &&
        !out[before].text.endsWith(QLatin1Char('(')) &&
        (!IsSqlKeyword(out[before].text) || IsWordPiece(out[before], "CAST")))
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

}  // namespace

void CompareAndSortWithoutCase(JetPieces& out, const JetSqlWriter& writer) {
  const std::vector<int> literals = ComparedTexts(out);
  if (!literals.empty()) writer.CompareTextsWithoutCase(out, literals);
  SortWithoutCase(out, writer);
}

void WrapConcatenation(JetPieces& out, const JetSqlWriter& writer) {
  const int n = static_cast<int>(out.size());
  bool any = false;
  for (int at = 0; at < n && !any; ++at) any = IsSymbolPiece(out[at], "&");
  if (!any) return;
  std::vector<int> opens(n, 0), closes(n, 0);
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
  const JetWrap& wrap = writer.ConcatenationOperand();
  JetPieces wrapped;
  wrapped.reserve(out.size() + 8);
  for (int i = 0; i < n; ++i) {
    if (opens[i]) wrapped.push_back({Kind::kName, wrap.open});
    if (IsSymbolPiece(out[i], "&")) {
      wrapped.push_back({Kind::kSymbol, QStringLiteral("||")});
    } else {
      wrapped.push_back(std::move(out[i]));
    }
    if (closes[i]) wrapped.push_back({Kind::kSymbol, wrap.close});
  }
  out = std::move(wrapped);
}

// The operands are found right to left, so that a \ b \ c reads a \ (b \ c), and an operand
// that is itself such a division is taken whole. The rewrite only marks where the division
// opens and closes, so that long texts are not copied again for every division.
QString RenderWithIntegerDivision(JetPieces& out, const JetSqlWriter& writer) {
  const int n = static_cast<int>(out.size());
  std::vector<int> divisions;
  for (int k = 0; k < n; ++k) {
    if (IsSymbolPiece(out[k], "\\")) divisions.push_back(k);
  }
  if (divisions.empty()) {
    QString result;
    for (const JetPiece& p : out) result += p.text;
    return result;
  }
  const JetDivision& division = writer.IntegerDivision();
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
    const bool nested = divisionEnd[k] >= 0;
    if (nested) k = divisionEnd[k];
    int probe = k + 1;
    while (probe < n && out[probe].kind == Kind::kSpace) ++probe;
    const bool isCall =
        (nested || out[k].kind == Kind::kName) && probe < n && IsSymbolPiece(out[probe], "(");
    if (isCall) k = probe;
    if ((isCall || !nested) && IsSymbolPiece(out[k], "(")) k = match[k] < 0 ? n - 1 : match[k];
    rightEnd = std::min(k, n - 1);
    ++opens[leftStart];
    for (int j = leftEnd + 1; j < rightStart; ++j) dropped[j] = true;
    ++closes[rightEnd];
    out[at].text = division.between;
    dropped[at] = false;
    divisionEnd[leftStart] = std::max(divisionEnd[leftStart], rightEnd);
  }
  QString result;
  for (int i = 0; i < n; ++i) {
    for (int c = 0; c < opens[i]; ++c) result += division.open;
    if (!dropped[i]) result += out[i].text;
    for (int c = 0; c < closes[i]; ++c) result += division.close;
  }
  return result;
}

}  // namespace corvane
