#include "engine/recordset.h"

#include <optional>

#include "engine/connection.h"
#include "engine/engine_error.h"
#include "engine/field_values.h"
#include "engine/sqlite_error.h"

namespace corvane {

namespace {

[[noreturn]] void NoCurrentRecord() {
  throw EngineError(engine_error::kNoCurrentRecord, QStringLiteral("There is no current record."));
}

}  // namespace

Recordset::Recordset(std::shared_ptr<Connection> connection, QString name, SetSource source,
                     std::vector<FieldInfo> fields)
    : connection_(std::move(connection)),
      name_(std::move(name)),
      source_(std::move(source)),
      fields_(std::move(fields)) {
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

Recordset::~Recordset() { Close(); }

void Recordset::Close() {
  if (!open_) return;
  open_ = false;
  ClearOriginal();
  fetch_.Finalize();
  keys_.clear();
  keys_.shrink_to_fit();
  values_.clear();
  buffer_.clear();
  editMode_ = EditMode::kNone;
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

void Recordset::CheckOpen() const {
  if (!open_ || !connection_->isOpen()) {
    throw EngineError(engine_error::kClosed, QStringLiteral("The record set is closed."));
  }
}

void Recordset::CheckCurrent() const {
  CheckOpen();
  if (cursor_ == Cursor::kDeleted || missing_) {
    throw EngineError(engine_error::kRecordDeleted, QStringLiteral("The record was deleted."));
  }
  if (cursor_ != Cursor::kRecord) NoCurrentRecord();
}

void Recordset::CheckWritable() const {
  CheckOpen();
  if (!Updatable()) {
    throw EngineError(engine_error::kReadOnly,
                      QStringLiteral("The records of '%1' cannot be changed: the set is "
                                     "read-only.")
                          .arg(name_));
  }
}

void Recordset::LoadKeys() {
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

void Recordset::ClearOriginal() {
  for (sqlite3_value* v : original_) sqlite3_value_free(v);
  original_.clear();
}

void Recordset::Fetch() {
  ClearOriginal();
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

void Recordset::GoTo(int64_t position) {
  editMode_ = EditMode::kNone;  // moving discards an unsaved edit
  const int64_t n = static_cast<int64_t>(keys_.size());
  if (position < 0) {
    cursor_ = Cursor::kBof;
    position_ = -1;
  } else if (position >= n) {
    cursor_ = Cursor::kEof;
    position_ = n;
  } else {
    cursor_ = Cursor::kRecord;
    position_ = position;
    Fetch();
    return;
  }
  ClearOriginal();
  values_.clear();
  missing_ = false;
}

int64_t Recordset::RecordCount() const {
  CheckOpen();
  return static_cast<int64_t>(keys_.size());
}

int64_t Recordset::AbsolutePosition() const {
  CheckOpen();
  return cursor_ == Cursor::kRecord ? position_ : -1;
}

void Recordset::SetAbsolutePosition(int64_t position) {
  CheckOpen();
  if (position < 0 || position >= static_cast<int64_t>(keys_.size())) {
    throw EngineError(3001, QStringLiteral("The position %1 is outside the set.").arg(position));
  }
  GoTo(position);
}

bool Recordset::Eof() const {
  CheckOpen();
  return keys_.empty() || cursor_ == Cursor::kEof;
}

bool Recordset::Bof() const {
  CheckOpen();
  return keys_.empty() || cursor_ == Cursor::kBof;
}

void Recordset::MoveFirst() {
  CheckOpen();
  if (keys_.empty()) NoCurrentRecord();
  GoTo(0);
}

void Recordset::MoveLast() {
  CheckOpen();
  if (keys_.empty()) NoCurrentRecord();
  GoTo(static_cast<int64_t>(keys_.size()) - 1);
}

void Recordset::MoveNext() {
  CheckOpen();
  if (Eof()) NoCurrentRecord();
  switch (cursor_) {
    case Cursor::kBof:
      return GoTo(0);
    case Cursor::kDeleted:
      return GoTo(position_);  // the record after the deleted one took its place
    default:
      return GoTo(position_ + 1);
  }
}

void Recordset::MovePrevious() {
  CheckOpen();
  if (Bof()) NoCurrentRecord();
  if (cursor_ == Cursor::kEof) return GoTo(static_cast<int64_t>(keys_.size()) - 1);
  GoTo(position_ - 1);
}

int Recordset::FieldIndex(const QString& name) const {
  for (int i = 0; i < FieldCount(); ++i) {
    if (fields_[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

Variant Recordset::Value(int i) const {
  CheckOpen();
  if (i < 0 || i >= FieldCount()) {
    throw EngineError(engine_error::kItemNotFound,
                      QStringLiteral("There is no field number %1.").arg(i));
  }
  if (editMode_ != EditMode::kNone) return buffer_[i];
  CheckCurrent();
  return values_[i];
}

}  // namespace corvane
