#include "engine/jet_pieces.h"

namespace corvane {

using Kind = SqlToken::Kind;

bool IsSqlKeyword(const QString& word) {
  static const QLatin1String kKeywords[] = {
      QLatin1String("SELECT"),   QLatin1String("FROM"),      QLatin1String("WHERE"),
      QLatin1String("AND"),      QLatin1String("OR"),        QLatin1String("NOT"),
      QLatin1String("LIKE"),     QLatin1String("IN"),        QLatin1String("IS"),
      QLatin1String("NULL"),     QLatin1String("BETWEEN"),   QLatin1String("AS"),
      QLatin1String("ON"),       QLatin1String("JOIN"),      QLatin1String("INNER"),
      QLatin1String("LEFT"),     QLatin1String("RIGHT"),     QLatin1String("OUTER"),
      QLatin1String("ORDER"),    QLatin1String("GROUP"),     QLatin1String("BY"),
      QLatin1String("HAVING"),   QLatin1String("ASC"),       QLatin1String("DESC"),
      QLatin1String("DISTINCT"), QLatin1String("ALL"),       QLatin1String("UNION"),
      QLatin1String("CASE"),     QLatin1String("WHEN"),      QLatin1String("THEN"),
      QLatin1String("ELSE"),     QLatin1String("END"),       QLatin1String("LIMIT"),
      QLatin1String("EXISTS"),   QLatin1String("CROSS"),     QLatin1String("FULL"),
      QLatin1String("USING"),    QLatin1String("OFFSET"),    QLatin1String("ESCAPE"),
      QLatin1String("EXCEPT"),   QLatin1String("INTERSECT"), QLatin1String("COLLATE"),
      QLatin1String("CAST")};
  for (const QLatin1String& w : kKeywords) {
    // Every word of a text is looked up: its length and first letter rule out most at once.
    if (w.size() == word.size() && word.front().toUpper() == w.front() &&
        word.compare(w, Qt::CaseInsensitive) == 0) {
      return true;
    }
  }
  return false;
}

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

int PrevSolid(const JetPieces& out, int from) {
  for (int i = from; i >= 0; --i) {
    if (!IsBlank(out[i])) return i;
  }
  return -1;
}

std::vector<int> MatchParentheses(const JetPieces& out) {
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

namespace {

// Whether the left operand of a comparison or Like stops before this piece.
bool StopsLeftOperand(const JetPiece& p) {
  if (p.kind == Kind::kSymbol) {
    for (const char* b : {",", "(", "=", "<", ">", "<=", ">=", "<>", "!=", "==", ";", "~*"}) {
      if (p.text == QLatin1String(b)) return true;
    }
  }
  if (p.kind == Kind::kName) {
    for (const char* w : {"AND",  "OR",     "NOT",  "LIKE",  "BETWEEN", "IN",   "IS",  "SELECT",
                          "FROM", "WHERE",  "AS",   "THEN",  "ELSE",    "WHEN", "END", "ON",
                          "BY",   "HAVING", "CASE", "LIMIT", "~*",      "!~*"}) {
      if (p.text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0) return true;
    }
  }
  return false;
}

}  // namespace

int LeftOperandStart(const JetPieces& out, const std::vector<int>& match, int end) {
  int start = -1;
  for (int j = end; j >= 0; --j) {
    const JetPiece& p = out[j];
    if (IsBlank(p)) continue;
    if (IsSymbolPiece(p, ")")) {
      if (match[j] < 0) return -1;
      start = j = match[j];
      continue;
    }
    if (StopsLeftOperand(p)) break;
    start = j;
  }
  return start;
}

void AppendPieces(JetPieces& out, const QString& parts) {
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

void JetInsertions::Apply(JetPieces& out) const {
  if (marks_.empty()) return;
  JetPieces result;
  result.reserve(out.size() + 16);
  auto mark = marks_.begin();
  for (int i = 0; i < static_cast<int>(out.size()); ++i) {
    const bool marked = mark != marks_.end() && mark->first == i;
    if (marked) AppendPieces(result, mark->second.first);
    result.push_back(std::move(out[i]));
    if (marked) AppendPieces(result, (mark++)->second.second);
  }
  out = std::move(result);
}

}  // namespace corvane
