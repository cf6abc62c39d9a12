// Jet SQL written for SQLite. What SQLite lacks is added to each connection as functions
// (jet_functions.cpp): Jet's Like, Left and Right under names SQLite does not reserve, the
// integer division.
#include "engine/connection.h"
#include "engine/jet_sql.h"
#include "engine/jet_sql_writer.h"

namespace corvane {

namespace {

using Kind = SqlToken::Kind;

const QString kNoCase = QStringLiteral(" COLLATE NOCASE");

QString QuotedText(QString text) {
  text.replace(QLatin1Char('\''), QLatin1String("''"));
  return QLatin1Char('\'') + text + QLatin1Char('\'');
}

class SqliteJetWriter final : public JetSqlWriter {
 public:
  JetPiece Text(const QString& value, bool) override { return {Kind::kString, QuotedText(value)}; }
  JetPiece Date(const QString& literal) override { return {Kind::kDate, literal}; }
  JetPiece Name(const QString& name, bool bracketed) const override {
    if (!bracketed) return {Kind::kName, name};
    return {Kind::kQuotedName, QuoteName(name)};
  }
  QString Boolean(bool value) const override {
    return value ? QStringLiteral("1") : QStringLiteral("0");
  }
  // SQLite reserves the names Left and Right.
  std::optional<JetCallForm> Call(const QString& name, int) const override {
    JetCallForm form;
    if (name.compare(QLatin1String("LEFT"), Qt::CaseInsensitive) == 0) {
      form.head = QStringLiteral("jet_left");
    } else if (name.compare(QLatin1String("RIGHT"), Qt::CaseInsensitive) == 0) {
      form.head = QStringLiteral("jet_right");
    } else {
      return std::nullopt;
    }
    return form;
  }
  JetPiece Comment(const QString& text) const override { return {Kind::kComment, text}; }

  // SQLite's NOCASE collation, kept portable so that stored queries stay readable by other
  // SQLite programs.
  void CompareTextsWithoutCase(JetPieces& out, const std::vector<int>& literals) const override {
    JetInsertions insertions;
    for (const int literal : literals) insertions.After(literal, kNoCase);
    insertions.Apply(out);
  }
  void OrderTerm(JetPieces& out, const JetOrderTerm& term) const override {
    out.insert(out.begin() + term.value + 1, JetPiece{Kind::kName, kNoCase});
  }
  const JetWrap& ConcatenationOperand() const override {
    static const JetWrap wrap{QStringLiteral("ifnull("), QStringLiteral(", '')")};
    return wrap;
  }
  const JetDivision& IntegerDivision() const override {
    static const JetDivision division{QStringLiteral("jet_intdiv("), QStringLiteral(", "),
                                      QStringLiteral(")")};
    return division;
  }
};

}  // namespace

QString TranslateJetSql(const QString& jet) {
  SqliteJetWriter writer;
  return TranslateJet(jet, writer);
}

}  // namespace corvane
