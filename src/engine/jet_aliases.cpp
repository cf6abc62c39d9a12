#include "engine/jet_aliases.h"

namespace corvane {

namespace {

using Kind = SqlToken::Kind;

bool IsName(const SqlToken& t) { return t.kind == Kind::kName || t.kind == Kind::kQuotedName; }

// A word that ends the select list of its SELECT (or the ORDER BY of its query).
bool EndsClause(const SqlToken& t) {
  for (const char* word : {"FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION", "INTO", "EXCEPT",
                           "INTERSECT", "LIMIT"}) {
    if (t.isWord(word)) return true;
  }
  return false;
}

// What may stand right before a select list's item.
bool StartsItem(const SqlToken* t) {
  return t && (t->isWord("SELECT") || t->isWord("DISTINCT") || t->isWord("DISTINCTROW") ||
               t->isWord("ALL") || t->isSymbol(",") || t->isSymbol(".") ||
               t->kind == Kind::kNumber);  // the n of TOP n
}

// What may stand right after a whole term of ORDER BY.
bool EndsOrderTerm(const SqlToken* t) {
  return !t || t->isSymbol(",") || t->isSymbol(")") || t->isSymbol(";") || t->isWord("ASC") ||
         t->isWord("DESC");
}

}  // namespace

JetColumnAliases::JetColumnAliases(const std::vector<SqlToken>& tokens) {
  std::vector<int> solid;  // the indexes of the tokens that are not blank
  for (int k = 0; k < static_cast<int>(tokens.size()); ++k) {
    if (!tokens[k].isBlank()) solid.push_back(k);
  }
  const auto at = [&](qsizetype s) -> const SqlToken* {
    return s >= 0 && s < static_cast<qsizetype>(solid.size()) ? &tokens[solid[s]] : nullptr;
  };
  // Whether the innermost parenthesis (or the whole text) is in a select list, in ORDER BY,
  // a CAST's.
  std::vector<bool> selectList{false}, orderBy{false}, cast{false};
  std::vector<Role> roles(tokens.size(), kNone);
  for (qsizetype s = 0; s < static_cast<qsizetype>(solid.size()); ++s) {
    const SqlToken& t = *at(s);
    if (t.isSymbol("(")) {
      selectList.push_back(false);
      orderBy.push_back(false);
      cast.push_back(at(s - 1) && at(s - 1)->isWord("CAST"));
    } else if (t.isSymbol(")")) {
      if (selectList.size() > 1) {
        selectList.pop_back();
        orderBy.pop_back();
        cast.pop_back();
      }
    } else if (t.isWord("SELECT")) {
      selectList.back() = true;
      orderBy.back() = false;
    } else if (EndsClause(t)) {
      selectList.back() = false;
      orderBy.back() = t.isWord("ORDER");
    } else if (t.isWord("AS") && cast.back() && at(s + 1)) {
      roles[solid[s + 1]] = kType;
    } else if (t.isWord("AS") && selectList.back() && at(s + 1) && IsName(*at(s + 1)) &&
               !(at(s + 2) && at(s + 2)->isSymbol("("))) {
      const QString name = UnquotedName(*at(s + 1));
      roles[solid[s + 1]] = kDeclared;
      const SqlToken* before = at(s - 1);
      const bool renames = before && IsName(*before) && StartsItem(at(s - 2)) &&
                           UnquotedName(*before).compare(name, Qt::CaseInsensitive) == 0;
      // The first declaration wins.
      if (!byName_.contains(name.toLower())) byName_.insert(name.toLower(), {name, renames});
      ++s;
    } else if (orderBy.back() && IsName(t) && at(s - 1) &&
               (at(s - 1)->isWord("BY") || at(s - 1)->isSymbol(",")) && EndsOrderTerm(at(s + 1))) {
      roles[solid[s]] = kOrderTerm;
    }
  }
  if (!byName_.isEmpty()) roles_ = std::move(roles);
}

QString JetColumnAliases::Meant(size_t at, const QString& name, bool known) const {
  if (byName_.isEmpty()) return QString();
  const auto it = byName_.constFind(name.toLower());
  if (it == byName_.cend() || roles_[at] == kType) return QString();
  if (known && (roles_[at] != kOrderTerm || it->renamesColumn)) return QString();
  return it->spelling;
}

}  // namespace corvane
