// FindFirst / FindNext: one read of the source per call, then a walk over the keys.
#include <algorithm>

#include "engine/connection.h"
#include "engine/engine_error.h"
#include "engine/jet_sql.h"
#include "engine/recordset.h"
#include "engine/sqlite_error.h"

namespace corvane {

void Recordset::FindFirst(const QString& criterion) {
  CheckOpen();
  Find(criterion, 0);
}

void Recordset::FindNext(const QString& criterion) {
  CheckOpen();
  int64_t from = 0;
  switch (cursor_) {
    case Cursor::kBof:
      from = 0;
      break;
    case Cursor::kRecord:
      from = position_ + 1;
      break;
    case Cursor::kDeleted:
      from = position_;
      break;
    case Cursor::kEof:
      from = static_cast<int64_t>(keys_.size());
      break;
  }
  Find(criterion, from);
}

void Recordset::Find(const QString& criterion, int64_t from) {
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
