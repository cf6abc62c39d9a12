#pragma once

#include <QString>
#include <map>
#include <utility>
#include <vector>

#include "engine/sql_tokens.h"

namespace corvane {

// One piece of a translated Jet text. Blanks and comments are pieces too, so that the
// translation reads as the client wrote it.
struct JetPiece {
  SqlToken::Kind kind;
  QString text;
  bool textColumn = false;  // a column known to hold text
  bool likeRegex = false;   // a Like pattern already written as a regular expression
  bool likePlain = false;   // ... or, where it means the same, as an SQL LIKE pattern
};
using JetPieces = std::vector<JetPiece>;

inline bool IsBlank(const JetPiece& p) {
  return p.kind == SqlToken::Kind::kSpace || p.kind == SqlToken::Kind::kComment;
}
inline bool IsSymbolPiece(const JetPiece& p, const char* symbol) {
  return p.kind == SqlToken::Kind::kSymbol && p.text == QLatin1String(symbol);
}
inline bool IsWordPiece(const JetPiece& p, const char* word) {
  return p.kind == SqlToken::Kind::kName &&
         p.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

// Words of the Jet SQL clients write that are never a table's or column's name.
bool IsSqlKeyword(const QString& word);

// Whether a piece (or token) ends the pattern that follows Like.
bool EndsLikePattern(SqlToken::Kind kind, const QString& text);

// The last solid piece at or before `from`; -1 when there is none.
int PrevSolid(const JetPieces& out, int from);

// For every "(" and ")" piece the index of its partner, -1 for the others and for a
// parenthesis without one. Found once, so that no rewrite rescans a group.
std::vector<int> MatchParentheses(const JetPieces& out);

// Where the operand ending at out[end] starts, stepping over groups and calls, as far as a
// comparison, a comma, an opening parenthesis or a keyword; -1 when there is none. Used for
// the left side of a comparison or Like, so arithmetic and & stay inside.
int LeftOperandStart(const JetPieces& out, const std::vector<int>& match, int end);

// Appends pieces written as '`'-separated parts: "(", ")" and "," are symbols, " " a blank,
// a quoted part a literal, anything else a name.
void AppendPieces(JetPieces& out, const QString& parts);

// Parts (as AppendPieces reads them) to write around pieces of a translation, all written
// at once by Apply: a rewrite marks what it adds and the pieces are copied only once.
class JetInsertions {
 public:
  void Before(int at, const QString& parts) { marks_[at].first += parts; }
  void After(int at, const QString& parts) { marks_[at].second += parts; }
  void Apply(JetPieces& out) const;

 private:
  std::map<int, std::pair<QString, QString>> marks_;  // by piece: before it, after it
};

}  // namespace corvane
