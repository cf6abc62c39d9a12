// Finding in a SQLite set: one read of the source per call, then a walk over the keys.
#include <algorithm>

#include "engine/connection.h"
#include "engine/engine_error.h"
#include "engine/jet_sql.h"
#include "engine/sqlite_error.h"
#include "engine/sqlite_recordset.h"

namespace corvane {

void SqliteRecordset::Find(const QString& criterion, int64_t from) {
  CheckClientJetSqlLength(criterion);
  const QString condition = TranslateJetSql(criterion);
  const Connection::TimeLimit limit(*connection_);
  // The criterion is the client's: it may only read, and only as one statement.
  Statement stmt =
      connection_->PrepareConfined(QStringLiteral("SELECT %1 FROM %2 WHERE (%3\n)")
                                       .arg(source_.findKey, source_.findFrom, condition));
  std::vector<int64_t> matches;
  SqliteStatement& rows = stmt.sqlite();
  int rc;
  while ((rc = rows.Step()) == SQLITE_ROW) matches.push_back(rows.ColumnInteger(0));
  if (rc != SQLITE_DONE) throw SqliteError(connection_->handle(), rc);
  std::sort(matches.begin(), matches.end());
  noMatch_ = true;
  if (matches.empty()) return;
  const int64_t n = static_cast<int64_t>(keys_.size());
  for (int64_t i = std::max<int64_t>(from, 0); i < n; ++i) {
    if (std::binary_search(matches.begin(), matches.end(), keys_[i])) {
      noMatch_ = false;
      GoTo(i);
      return;
    }
  }
}

}  // namespace corvane
