#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "engine/jet_pieces.h"

namespace corvane {

// How a call of a Jet function is written in an engine's SQL: the pieces written instead of
// its name, after its "(", instead of each of its top-level commas (the last one repeats),
// before and after its ")". Pieces are '`'-separated parts (AppendPieces). Without
// parentheses (dropParens), the call's own are left out.
struct JetCallForm {
  QString head;
  QString afterOpen;
  QStringList commas;
  QString beforeClose;
  QString tail;
  bool dropParens = false;
};

// One term of an ORDER BY clause, as indexes into the pieces written so far.
struct JetOrderTerm {
  int first;        // its first solid piece
  int value;        // the last solid piece of what is sorted by (ASC or DESC left out)
  int last;         // its last solid piece
  bool descending;  // it ends with DESC
  bool outputOnly;  // its query is DISTINCT or a UNION: sorted by output columns only
};

// What is written around each operand of &, and around an integer division a \ b.
struct JetWrap {
  QString open;
  QString close;
};
struct JetDivision {
  QString open;
  QString between;
  QString close;
};

// Writes a client's Jet SQL in one engine's dialect. TranslateJet reads the text once and
// applies the rules every engine shares (names, literals, dates, TOP, DISTINCTROW, Mod, !,
// the operands of & and \, the terms of ORDER BY); it asks the writer wherever the
// engines' SQL differs.
class JetSqlWriter {
 public:
  virtual ~JetSqlWriter() = default;

  // A text literal, by its value; `wholeLikePattern`: it is all of the pattern after Like.
  virtual JetPiece Text(const QString& value, bool wholeLikePattern) = 0;
  // A #date#, given as a quoted 'YYYY-MM-DD HH:MM:SS'.
  virtual JetPiece Date(const QString& literal) = 0;
  // A table's or column's name; `bracketed`: the client wrote it in brackets or quotes.
  virtual JetPiece Name(const QString& name, bool bracketed) const = 0;
  // A column alias, spelled as where the query declares it; nullopt: written as any name.
  virtual std::optional<JetPiece> Alias(const QString& /*spelling*/) const { return std::nullopt; }
  // Whether the database knows a table or column of that name (in any case).
  virtual bool Knows(const QString& /*name*/) const { return false; }
  virtual QString Boolean(bool value) const = 0;
  // The form of a call of `name` with `args` arguments (-1: its parenthesis is not closed);
  // nullopt: the call is written as the client wrote it.
  virtual std::optional<JetCallForm> Call(const QString& name, int args) const = 0;
  // A call of a function named otherwise than by its plain name (qualified by a schema, or
  // bracketed), which is written as it stands; the writer may refuse it.
  virtual void CheckOtherCall(const QString& /*name*/) const {}
  // A symbol no shared rule rewrites; the writer may refuse it.
  virtual void CheckSymbol(const QString& /*symbol*/) const {}
  virtual JetPiece Comment(const QString& text) const = 0;

  // Rewrites over the whole translation, in this order.
  virtual void RewriteLike(JetPieces& /*out*/) const {}
  // Jet compares texts without regard to case: `literals` are the text literals compared
  // with =, <>, <, >, <=, >= or != with what stands on their left.
  virtual void CompareTextsWithoutCase(JetPieces& out, const std::vector<int>& literals) const = 0;
  // Jet sorts texts without regard to case, and Nulls first: a term of ORDER BY in `out`.
  virtual void OrderTerm(JetPieces& out, const JetOrderTerm& term) const = 0;
  virtual const JetWrap& ConcatenationOperand() const = 0;
  virtual const JetDivision& IntegerDivision() const = 0;
};

// The client's Jet SQL written by `writer`; throws EngineError 3075 for a text it cannot
// read.
QString TranslateJet(const QString& jet, JetSqlWriter& writer);

}  // namespace corvane
