#include "engine/sqlite_recordset.h"

#include <optional>

#include "engine/connection.h"
#include "engine/engine_error.h"
#include "engine/field_values.h"
#include "engine/sqlite_error.h"

namespace corvane {

SqliteRecordset::SqliteRecordset(std::shared_ptr<Connection> connection, QString name,
                                 SetSource source, std::vector<FieldInfo> fields)
    : Recordset(std::move(name), std::move(fields)),
      connection_(std::move(connection)),
      source_(std::move(source)) {
  connection_->RegisterSet(this);
  try {
    fetch_ = connection_->Prepare(source_.fetchSql);
    LoadKeys();
    if (!keys_.empty()) GoTo(0);
  } catch (...) {
    Close();
    throw;
  }
}

SqliteRecordset::~SqliteRecordset() { Close(); }

void SqliteRecordset::Close() {
  if (!MarkClosed()) return;
  ForgetCurrent();
  fetch_.Finalize();
  keys_.clear();
  keys_.shrink_to_fit();
  connection_->UnregisterSet(this);
  if (!source_.tempTable.isEmpty() && connection_->isOpen()) {
    try {
      const Connection::Unbounded unbounded(*connection_);
      connection_->Execute(
          QStringLiteral("DROP TABLE IF EXISTS temp.%1").arg(QuoteName(source_.tempTable)));
    } catch (const EngineError&) {
      // A temporary table left behind goes with the connection.
    }
  }
}

void SqliteRecordset::LoadKeys() {
  if (!source_.sizeHintSql.isEmpty()) {
    // Reserving once spares the copies of a growing vector on large tables.
    Statement hint = connection_->Prepare(source_.sizeHintSql);
    if (hint.Step()) {
      const int64_t estimate = hint.ColumnInteger(0);
      if (estimate > 0 && estimate <= (int64_t{1} << 24))
        keys_.reserve(static_cast<size_t>(estimate));
    }
  }
  Statement keys = connection_->Prepare(source_.keySql);
  SqliteStatement& stmt = keys.sqlite();
  const int column = source_.keyColumn;
  int rc;
  while ((rc = stmt.Step()) == SQLITE_ROW) keys_.push_back(stmt.ColumnInteger(column));
  if (rc != SQLITE_DONE) throw SqliteError(connection_->handle(), rc);
  if (keys_.capacity() > keys_.size() + keys_.size() / 8) keys_.shrink_to_fit();
}

void SqliteRecordset::ForgetCurrent() {
  for (sqlite3_value* v : original_) sqlite3_value_free(v);
  original_.clear();
}

void SqliteRecordset::FetchCurrent() {
  ForgetCurrent();
  values_.clear();
  missing_ = false;
  fetch_.Reset();
  fetch_.Bind(1, Variant(keys_[position_]));
  std::optional<Connection::TimeLimit> limit;
  if (source_.clientQuery) limit.emplace(*connection_);
  if (!fetch_.Step()) {
    missing_ = true;
    return;
  }
  const int n = FieldCount();
  values_.reserve(n);
  original_.reserve(n);
  for (int i = 0; i < n; ++i) {
    sqlite3_value* raw = fetch_.sqlite().ColumnValue(i);
    original_.push_back(sqlite3_value_dup(raw));
    values_.push_back(ShownValue(fields_[i], VariantFromValue(raw)));
  }
  fetch_.Reset();
}

}  // namespace corvane
