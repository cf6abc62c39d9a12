// The one reading of a client's Jet SQL: tokens in, pieces out, the engine's writer asked
// wherever the engines' SQL differs.
#include "engine/jet_sql.h"

#include <map>
#include <utility>
#include <vector>

#include "engine/engine_error.h"
#include "engine/jet_aliases.h"
#include "engine/jet_rewrites.h"
#include "engine/jet_sql_writer.h"
#include "engine/sql_tokens.h"

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

[[noreturn]] void Refuse(const QString& description) {
  throw EngineError(engine_error::kSyntaxError, description);
}

// The groups of a token list: for every "(" and ")" its partner (-1 without one), and for
// every ',' the innermost "(" it stands in (-1: none) and how many commas came before it
// there. Found once, so that no call rescans its arguments.
struct TokenGroups {
  std::vector<int> match;
  std::vector<int> commaGroup;
  std::vector<int> commaOrdinal;
  std::vector<int> commaCount;  // by the index of a "("

  explicit TokenGroups(const std::vector<SqlToken>& tokens)
      : match(tokens.size(), -1),
        commaGroup(tokens.size(), -1),
        commaOrdinal(tokens.size(), 0),
        commaCount(tokens.size(), 0) {
    std::vector<int> open;
    for (int i = 0; i < static_cast<int>(tokens.size()); ++i) {
      if (tokens[i].isSymbol("(")) {
        open.push_back(i);
      } else if (tokens[i].isSymbol(")") && !open.empty()) {
        match[i] = open.back();
        match[open.back()] = i;
        open.pop_back();
      } else if (tokens[i].isSymbol(",") && !open.empty()) {
        commaGroup[i] = open.back();
        commaOrdinal[i] = commaCount[open.back()]++;
      }
    }
  }
};

// Reads the tokens once, left to right, into pieces.
class JetParser {
 public:
  JetParser(const QString& jet, JetSqlWriter& writer)
      : writer_(writer), tokens_(TokenizeSql(jet, SqlDialect::kJet)), aliases_(tokens_) {
    // The next solid token after each token, found once: a run of comments is not walked
    // again for every token before it.
    nextSolidAfter_.assign(tokens_.size(), -1);
    for (int k = static_cast<int>(tokens_.size()) - 2; k >= 0; --k) {
      nextSolidAfter_[k] = tokens_[k + 1].isBlank() ? nextSolidAfter_[k + 1] : k + 1;
    }
  }

  JetPieces Read() {
    out_.reserve(tokens_.size());
    for (i_ = 0; i_ < tokens_.size(); ++i_) {
      for (; looked_ < out_.size(); ++looked_) {
        if (!IsBlank(out_[looked_])) prev_ = static_cast<int>(looked_);
      }
      Token(tokens_[i_], NextSolid(i_));
    }
    FlushOuterLimits();
    return std::move(out_);
  }

 private:
  int NextSolid(size_t after) const { return after < tokens_.size() ? nextSolidAfter_[after] : -1; }
  bool PrevIs(const char* word) const {
    return prev_ >= 0 && out_[prev_].text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
  }

  void Token(const SqlToken& t, int next) {
    switch (t.kind) {
      case Kind::kString: {
        // A text that is the whole pattern of a Like: an engine may write it as a pattern
        // of its own.
        const bool pattern = prev_ >= 0 && IsWordPiece(out_[prev_], "LIKE") &&
                             (next < 0 || EndsLikePattern(tokens_[next].kind, tokens_[next].text));
        out_.push_back(writer_.Text(JetStringValue(t.text), pattern));
        break;
      }
      case Kind::kQuotedName:
        if (next >= 0 && tokens_[next].isSymbol("(")) writer_.CheckOtherCall(UnquotedName(t));
        out_.push_back(NameAt(UnquotedName(t), true));
        break;
      case Kind::kDate:
        out_.push_back(writer_.Date(JetDateLiteral(t.text.mid(1, t.text.size() - 2))));
        break;
      case Kind::kName:
        Word(t, next);
        break;
      case Kind::kSymbol:
        Symbol(t, next);
        break;
      case Kind::kComment:
        out_.push_back(writer_.Comment(t.text));
        break;
      default:
        out_.push_back({t.kind, t.text});
        break;
    }
  }

  void Word(const SqlToken& t, int next) {
    const bool callFollows = next >= 0 && tokens_[next].isSymbol("(");
    if (prev_ >= 0 && IsSymbolPiece(out_[prev_], ".")) {
      if (callFollows) writer_.CheckOtherCall(t.text);
      out_.push_back(NameAt(t.text, false));
    } else if (aliases_.Declares(i_)) {
      // An alias may be any word, Jet's own included.
      out_.push_back(NameAt(t.text, false));
    } else if (t.isWord("DISTINCTROW")) {
      // Over one table DISTINCTROW changes nothing; drop it with its blank.
      if (next >= 0) i_ = next - 1;
    } else if (t.isWord("TOP") && Top(next)) {
      // Written as LIMIT at the end of its SELECT.
    } else if ((t.isWord("TRUE") || t.isWord("YES")) && !callFollows) {
      out_.push_back({Kind::kNumber, writer_.Boolean(true)});
    } else if ((t.isWord("FALSE") || t.isWord("NO")) && !callFollows) {
      out_.push_back({Kind::kNumber, writer_.Boolean(false)});
    } else if (t.isWord("MOD")) {
      out_.push_back({Kind::kSymbol, QStringLiteral("%")});
    } else if (callFollows) {
      if (!Call(t, next)) out_.push_back({Kind::kName, t.text});
    } else if (!IsSqlKeyword(t.text)) {
      out_.push_back(NameAt(t.text, false));
    } else {
      out_.push_back({Kind::kName, t.text});
    }
  }

  // The name read at i_: an alias where the query declares one or uses one.
  JetPiece NameAt(const QString& name, bool bracketed) const {
    QString alias;
    if (aliases_.Declares(i_)) {
      alias = name;
    } else if (aliases_.Any()) {
      alias = aliases_.Meant(i_, name, writer_.Knows(name));
    }
    if (!alias.isEmpty()) {
      if (std::optional<JetPiece> piece = writer_.Alias(alias)) return *piece;
    }
    return writer_.Name(name, bracketed);
  }

  // SELECT TOP n becomes LIMIT n at the end of its SELECT; false when TOP is no such limit.
  bool Top(int next) {
    if (!(PrevIs("SELECT") || PrevIs("DISTINCT") || PrevIs("ALL")) || next < 0 ||
        tokens_[next].kind != Kind::kNumber) {
      return false;
    }
    const int after = NextSolid(next);
    if (after >= 0 && tokens_[after].isWord("PERCENT")) {
      Refuse(QStringLiteral("TOP n PERCENT is not supported."));
    }
    pendingLimit_[depth_] = tokens_[next].text;
    i_ = next;
    if (i_ + 1 < tokens_.size() && tokens_[i_ + 1].kind == Kind::kSpace) ++i_;
    return true;
  }

  // A call of a function whose "(" is tokens_[open]; false when the writer keeps it as it
  // is written.
  bool Call(const SqlToken& t, int open) {
    if (!groups_) groups_.emplace(tokens_);
    const int close = groups_->match[open];
    int args = -1;
    if (close >= 0) args = NextSolid(open) == close ? 0 : groups_->commaCount[open] + 1;
    std::optional<JetCallForm> form = writer_.Call(t.text, args);
    if (!form) return false;
    AppendPieces(out_, form->head);
    if (form->dropParens) {
      if (close < 0) Refuse(QStringLiteral("Syntax error: a parenthesis is not closed."));
      i_ = close;
    } else if (!form->afterOpen.isEmpty() || !form->commas.isEmpty() ||
               !form->beforeClose.isEmpty() || !form->tail.isEmpty()) {
      calls_.emplace(open, std::move(*form));
    }
    return true;
  }

  // The form of the call whose "(" is tokens_[open], or null.
  const JetCallForm* CallAt(int open) const {
    if (calls_.empty() || open < 0) return nullptr;
    const auto it = calls_.find(open);
    return it == calls_.end() ? nullptr : &it->second;
  }

  void Symbol(const SqlToken& t, int next) {
    const int at = static_cast<int>(i_);
    if (t.text == QLatin1String("(")) {
      ++depth_;
      out_.push_back({Kind::kSymbol, t.text});
      if (const JetCallForm* call = CallAt(at)) AppendPieces(out_, call->afterOpen);
    } else if (t.text == QLatin1String(")")) {
      FlushLimit(depth_);
      if (depth_ > 0) --depth_;
      const JetCallForm* call = groups_ ? CallAt(groups_->match[at]) : nullptr;
      if (call) AppendPieces(out_, call->beforeClose);
      out_.push_back({Kind::kSymbol, t.text});
      if (call) AppendPieces(out_, call->tail);
    } else if (t.text == QLatin1String(",") && Comma(at)) {
      // Written as the call's form has it.
    } else if (t.text == QLatin1String(";")) {
      FlushLimit(depth_);
      out_.push_back({Kind::kSymbol, t.text});
    } else if (t.text == QLatin1String("!") && prev_ >= 0 &&
               (out_[prev_].kind == Kind::kName || out_[prev_].kind == Kind::kQuotedName) &&
               next >= 0 &&
               (tokens_[next].kind == Kind::kName || tokens_[next].kind == Kind::kQuotedName)) {
      out_.push_back({Kind::kSymbol, QStringLiteral(".")});
    } else {
      // & and \ are rewritten over the whole text (WrapConcatenation, integer division).
      if (t.text != QLatin1String("&") && t.text != QLatin1String("\\")) {
        writer_.CheckSymbol(t.text);
      }
      out_.push_back({Kind::kSymbol, t.text});
    }
  }

  // A comma between the arguments of a call the writer rewrites: true when written.
  bool Comma(int at) {
    if (!groups_) return false;
    const JetCallForm* call = CallAt(groups_->commaGroup[at]);
    if (!call || call->commas.isEmpty()) return false;
    const qsizetype ordinal = groups_->commaOrdinal[at];
    AppendPieces(out_, call->commas[std::min<qsizetype>(ordinal, call->commas.size() - 1)]);
    return true;
  }

  void FlushLimit(int atDepth) {
    const auto it = pendingLimit_.find(atDepth);
    if (it == pendingLimit_.end()) return;
    out_.push_back({Kind::kSpace, QStringLiteral(" ")});
    out_.push_back({Kind::kName, QStringLiteral("LIMIT ") + it->second});
    pendingLimit_.erase(it);
  }

  // Limits still pending belong to the outermost SELECT; put them before a final ';'.
  void FlushOuterLimits() {
    if (pendingLimit_.empty()) return;
    int end = static_cast<int>(out_.size());
    while (end > 0 && (IsBlank(out_[end - 1]) || IsSymbolPiece(out_[end - 1], ";"))) --end;
    JetPieces tail(out_.begin() + end, out_.end());
    out_.erase(out_.begin() + end, out_.end());
    for (const auto& [depth, n] : pendingLimit_) {
      out_.push_back({Kind::kSpace, QStringLiteral(" ")});
      out_.push_back({Kind::kName, QStringLiteral("LIMIT ") + n});
    }
    out_.insert(out_.end(), tail.begin(), tail.end());
  }

  JetSqlWriter& writer_;
  const std::vector<SqlToken> tokens_;
  const JetColumnAliases aliases_;
  std::vector<int> nextSolidAfter_;
  size_t i_ = 0;  // the token being read
  JetPieces out_;
  int prev_ = -1;                        // the last solid piece of out_
  size_t looked_ = 0;                    // how much of out_ was looked at for it
  int depth_ = 0;                        // of parentheses
  std::map<int, QString> pendingLimit_;  // depth -> LIMIT n of its SELECT TOP n
  std::optional<TokenGroups> groups_;    // found at the first call
  std::map<int, JetCallForm> calls_;     // rewritten calls, by the index of their "("
};

}  // namespace

QString TranslateJet(const QString& jet, JetSqlWriter& writer) {
  JetPieces out = JetParser(jet, writer).Read();
  writer.RewriteLike(out);
  CompareAndSortWithoutCase(out, writer);
  WrapConcatenation(out, writer);
  return RenderWithIntegerDivision(out, writer);
}

void CheckClientJetSqlLength(const QString& jet) {
  if (jet.size() <= kClientJetSqlLimit) return;
  Refuse(QStringLiteral("The text is too long: %1 characters, at most %2 are allowed.")
             .arg(jet.size())
             .arg(kClientJetSqlLimit));
}

QString StripTrailingSemicolons(QString sql) {
  sql = sql.trimmed();
  while (sql.endsWith(QLatin1Char(';'))) sql = sql.chopped(1).trimmed();
  return sql;
}

}  // namespace corvane
