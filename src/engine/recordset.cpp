#include "engine/recordset.h"

#include "engine/engine_error.h"

namespace corvane {

namespace {

[[noreturn]] void NoCurrentRecord() {
  throw EngineError(engine_error::kNoCurrentRecord, QStringLiteral("There is no current record."));
}

}  // namespace

bool Recordset::MarkClosed() {
  if (!open_) return false;
  open_ = false;
  values_.clear();
  buffer_.clear();
  editMode_ = EditMode::kNone;
  return true;
}

void Recordset::CheckOpen() const {
  // An engine closes every set of a connection before the connection itself.
  if (!open_) {
    throw EngineError(engine_error::kClosed, QStringLiteral("The record set is closed."));
  }
}

void Recordset::CheckCurrent() const {
  CheckOpen();
  if (cursor_ == Cursor::kDeleted || missing_) {
    throw EngineError(engine_error::kRecordDeleted, QStringLiteral("The record was deleted."));
  }
  if (cursor_ != Cursor::kRecord) NoCurrentRecord();
  // A record whose reading failed has no values.
  if (values_.size() != fields_.size()) NoCurrentRecord();
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

void Recordset::GoTo(int64_t position) {
  editMode_ = EditMode::kNone;  // moving discards an unsaved edit
  const int64_t n = KeyCount();
  if (position < 0) {
    cursor_ = Cursor::kBof;
    position_ = -1;
  } else if (position >= n) {
    cursor_ = Cursor::kEof;
    position_ = n;
  } else {
    cursor_ = Cursor::kRecord;
    position_ = position;
    try {
      FetchCurrent();
      return;
    } catch (...) {
      // The record could not be read (its table gone, the request's time up, the connection
      // lost): the set stays where it was moved to, with no values to read or edit.
      ClearCurrent();
      throw;
    }
  }
  ClearCurrent();
}

void Recordset::ClearCurrent() {
  ForgetCurrent();
  values_.clear();
  missing_ = false;
}

int64_t Recordset::RecordCount() const {
  CheckOpen();
  return KeyCount();
}

int64_t Recordset::AbsolutePosition() const {
  CheckOpen();
  return cursor_ == Cursor::kRecord ? position_ : -1;
}

void Recordset::SetAbsolutePosition(int64_t position) {
  CheckOpen();
  if (position < 0 || position >= KeyCount()) {
    throw EngineError(engine_error::kInvalidArgument,
                      QStringLiteral("The position %1 is outside the set.").arg(position));
  }
  GoTo(position);
}

bool Recordset::Eof() const {
  CheckOpen();
  return KeyCount() == 0 || cursor_ == Cursor::kEof;
}

bool Recordset::Bof() const {
  CheckOpen();
  return KeyCount() == 0 || cursor_ == Cursor::kBof;
}

void Recordset::MoveFirst() {
  CheckOpen();
  if (KeyCount() == 0) NoCurrentRecord();
  GoTo(0);
}

void Recordset::MoveLast() {
  CheckOpen();
  if (KeyCount() == 0) NoCurrentRecord();
  GoTo(KeyCount() - 1);
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
  if (cursor_ == Cursor::kEof) return GoTo(KeyCount() - 1);
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
      from = KeyCount();
      break;
  }
  Find(criterion, from);
}

}  // namespace corvane
