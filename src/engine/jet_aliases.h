#pragma once

#include <QHash>
#include <QString>
#include <vector>

#include "engine/sql_tokens.h"

namespace corvane {

// The column aliases a client's query declares (the names after AS in a select list), found
// before the query is written out: an engine that folds bare names to one case writes them
// as the client did, since clients look fields up by those names, and writes each use of
// one the same way.
class JetColumnAliases {
 public:
  explicit JetColumnAliases(const std::vector<SqlToken>& tokens);

  bool Any() const { return !byName_.isEmpty(); }
  // The token at `at` declares an alias.
  bool Declares(size_t at) const { return !roles_.empty() && roles_[at] == kDeclared; }
  // The spelling of the alias the name at `at` may mean, or empty. `known`: the database
  // knows a table or column of that name, which a use in an expression means instead; only
  // a whole term of ORDER BY means the alias then (unless it merely renames that column).
  QString Meant(size_t at, const QString& name, bool known) const;

 private:
  enum Role : unsigned char { kNone, kDeclared, kOrderTerm, kType };  // kType: CAST(x AS type)
  struct Alias {
    QString spelling;
    bool renamesColumn;  // declared over a column of the same name: `name AS Name`
  };
  std::vector<Role> roles_;       // by token; empty without aliases
  QHash<QString, Alias> byName_;  // lower case -> the first declaration
};

}  // namespace corvane
