// Jet SQL written for PostgreSQL.
#include "postgres/pg_jet_sql.h"

#include "engine/engine_error.h"
#include "engine/jet_sql_writer.h"
#include "postgres/pg_connection.h"
#include "postgres/pg_jet_calls.h"
#include "postgres/pg_jet_like.h"
#include "postgres/pg_sql_safety.h"

namespace corvane {

namespace {

using Kind = SqlToken::Kind;

// SQLite's NOCASE for PostgreSQL: ASCII letters folded, then compared by code point. lower()
// under the C collation folds ASCII letters only, byte by byte: the same as translating
// A-Z to a-z, at a third of the cost on a sort of 100,000 texts.
const QString kFoldOpen = QStringLiteral("lower`(`CAST`(");
const QString kFoldClose = QStringLiteral(" `AS` `text`)` `COLLATE` `\"C\"`)` `COLLATE` `\"C\"");

// A function a client's query may not call: numbered like a function the engine lacks, as
// the file engine numbers the functions it refuses.
[[noreturn]] void RefuseCall(const QString& name) {
  throw EngineError(engine_error::kUnknownFunction,
                    QStringLiteral("The function '%1' is not allowed here.").arg(name));
}

class PgJetWriter final : public JetSqlWriter {
 public:
  explicit PgJetWriter(JetPgTarget& target) : target_(target) {}

  JetPiece Text(const QString& value, bool wholeLikePattern) override {
    // A text that is the whole pattern of a Like is written as its regular expression
    // (or LIKE pattern) here; a pattern that goes on (`'*' & name`) is made into one by the
    // statement.
    if (!wholeLikePattern) return {Kind::kString, Value(value)};
    const std::optional<QString> plain = JetPlainLike(value);
    JetPiece piece{Kind::kString, Value(plain ? *plain : JetLikeRegex(value))};
    piece.likeRegex = true;
    piece.likePlain = plain.has_value();
    return piece;
  }
  JetPiece Date(const QString& literal) override {
    return {Kind::kDate, Value(literal.mid(1, literal.size() - 2)) + QStringLiteral("::timestamp")};
  }
  JetPiece Name(const QString& name, bool bracketed) const override {
    const QString known = target_.spell ? target_.spell(name) : QString();
    if (known.isEmpty()) {
      if (!bracketed) return {Kind::kName, name};
      return {Kind::kQuotedName, PgQuoteName(name)};
    }
    return {Kind::kQuotedName, PgQuoteName(known), target_.isText && target_.isText(known)};
  }
  // PostgreSQL folds a bare name to lower case: an alias keeps the client's case quoted.
  std::optional<JetPiece> Alias(const QString& spelling) const override {
    return JetPiece{Kind::kQuotedName, PgQuoteName(spelling)};
  }
  bool Knows(const QString& name) const override {
    return target_.spell && !target_.spell(name).isEmpty();
  }
  QString Boolean(bool value) const override {
    return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
  }
  std::optional<JetCallForm> Call(const QString& name, int args) const override {
    if (args < 0) {
      throw EngineError(engine_error::kSyntaxError,
                        QStringLiteral("Syntax error: a parenthesis is not closed."));
    }
    std::optional<JetCallForm> form = PgCallFor(name, args);
    if (!form && !IsSafePgCall(name)) RefuseCall(name);
    return form;
  }
  // The list reads plain names: a call named by its schema (pg_catalog.nextval) or in
  // brackets is refused whatever it names.
  void CheckOtherCall(const QString& name) const override { RefuseCall(name); }
  // PostgreSQL reads $n as a parameter and $tag$ as a text: neither is Jet's.
  void CheckSymbol(const QString& symbol) const override {
    if (!symbol.contains(QLatin1Char('$'))) return;
    throw EngineError(engine_error::kSyntaxError,
                      QStringLiteral("Syntax error in expression: '$' is not allowed."));
  }
  // PostgreSQL nests /* */ comments where Jet does not: a comment could swallow what the
  // server writes after the client's text.
  JetPiece Comment(const QString&) const override { return {Kind::kSpace, QStringLiteral(" ")}; }

  void RewriteLike(JetPieces& out) const override { RewritePgLike(out); }
  // PostgreSQL has no NOCASE collation built in: both sides of the comparison are folded
  // as NOCASE folds.
  void CompareTextsWithoutCase(JetPieces& out, const std::vector<int>& literals) const override {
    const std::vector<int> match = MatchParentheses(out);
    JetInsertions insertions;
    for (const int literal : literals) {
      const int end = PrevSolid(out, PrevSolid(out, literal - 1) - 1);
      const int start = LeftOperandStart(out, match, end);
      if (start < 0) continue;
      insertions.Before(start, kFoldOpen);
      insertions.After(end, kFoldClose);
      insertions.Before(literal, kFoldOpen);
      insertions.After(literal, kFoldClose);
    }
    insertions.Apply(out);
  }
  // Nulls first in ascending order, as on a file; a term that is a text column alone
  // (perhaps qualified) is folded, unless its query sorts by output columns only, where
  // PostgreSQL would refuse a folded term.
  void OrderTerm(JetPieces& out, const JetOrderTerm& term) const override {
    JetPieces nulls;
    AppendPieces(
        nulls, term.descending ? QStringLiteral(" `NULLS LAST") : QStringLiteral(" `NULLS FIRST"));
    out.insert(out.begin() + term.last + 1, nulls.begin(), nulls.end());
    bool column = out[term.value].textColumn;
    for (int j = term.first; column && j < term.value; ++j) {
      column = IsBlank(out[j]) || IsSymbolPiece(out[j], ".") || out[j].kind == Kind::kName ||
               out[j].kind == Kind::kQuotedName;
    }
    if (!column || term.outputOnly) return;
    JetPieces open, close;
    AppendPieces(open, kFoldOpen);
    AppendPieces(close, kFoldClose);
    out.insert(out.begin() + term.value + 1, close.begin(), close.end());
    out.insert(out.begin() + term.first, open.begin(), open.end());
  }
  const JetWrap& ConcatenationOperand() const override {
    static const JetWrap wrap{QStringLiteral("coalesce(CAST("), QStringLiteral(" AS text), '')")};
    return wrap;
  }
  // The same rounding half to even and division without remainder as on a file.
  const JetDivision& IntegerDivision() const override {
    static const JetDivision division{QStringLiteral("int8(div((round(float8("),
                                      QStringLiteral(")))::numeric, (round(float8("),
                                      QStringLiteral(")))::numeric))")};
    return division;
  }

 private:
  // A value as a parameter, or as a literal where the statement is stored.
  QString Value(const QString& v) {
    if (target_.quote) return target_.quote(v);
    target_.params.emplace_back(v.toUtf8());
    return QLatin1Char('$') + QString::number(target_.params.size());
  }

  JetPgTarget& target_;
};

}  // namespace

QString TranslateJetSqlForPostgres(const QString& jet, JetPgTarget& target) {
  PgJetWriter writer(target);
  return TranslateJet(jet, writer);
}

}  // namespace corvane
