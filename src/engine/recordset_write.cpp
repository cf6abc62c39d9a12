// Editing, adding and deleting records: what changed, the comparison with the values last
// read, and the cursor afterwards. The engines run the statements.
#include <QSet>

#include "engine/engine_error.h"
#include "engine/field_values.h"
#include "engine/recordset.h"

namespace corvane {

void Recordset::SetValue(int i, const Variant& value) {
  CheckOpen();
  if (i < 0 || i >= FieldCount()) {
    throw EngineError(engine_error::kItemNotFound,
                      QStringLiteral("There is no field number %1.").arg(i));
  }
  if (editMode_ == EditMode::kNone) {
    throw EngineError(engine_error::kNoEditInProgress,
                      QStringLiteral("Call Edit or AddNew before changing a value."));
  }
  if (value.isEmpty()) return;
  const FieldInfo& field = fields_[i];
  if (editMode_ == EditMode::kEdit && field.autoNumber()) {
    throw EngineError(engine_error::kNotUpdatableField,
                      QStringLiteral("The field '%1' cannot be changed.").arg(field.name));
  }
  buffer_[i] = ShownValue(field, StoredValue(field, value));
  dirty_[i] = true;
}

void Recordset::Edit() {
  CheckWritable();
  CheckCurrent();
  buffer_ = values_;
  dirty_.assign(fields_.size(), false);
  editMode_ = EditMode::kEdit;
}

void Recordset::AddNew() {
  CheckWritable();
  buffer_.assign(fields_.size(), Variant::Null());
  dirty_.assign(fields_.size(), false);
  editMode_ = EditMode::kAdd;
}

void Recordset::CancelUpdate() {
  CheckOpen();
  editMode_ = EditMode::kNone;
}

void Recordset::Update() {
  CheckWritable();
  if (editMode_ == EditMode::kNone) {
    throw EngineError(engine_error::kNoEditInProgress,
                      QStringLiteral("Nothing to save: call Edit or AddNew first."));
  }
  if (editMode_ == EditMode::kEdit) {
    CheckCurrent();
    SaveEdit();
  } else {
    SaveNew();
  }
}

std::vector<Recordset::ColumnValue> Recordset::ChangedColumns() const {
  std::vector<ColumnValue> changed;
  const bool ignoreCase = ColumnNameCase() == Qt::CaseInsensitive;
  QSet<QString> assigned;
  for (int i = FieldCount() - 1; i >= 0; --i) {  // the later of two same columns wins
    if (!dirty_[i]) continue;
    const QString& column = fields_[i].sourceField;
    const QString key = ignoreCase ? column.toLower() : column;
    if (assigned.contains(key)) continue;
    assigned.insert(key);
    changed.push_back({i, StoredValue(fields_[i], buffer_[i])});
  }
  return changed;
}

void Recordset::SaveEdit() {
  const std::vector<ColumnValue> changes = ChangedColumns();
  if (changes.empty()) {
    editMode_ = EditMode::kNone;
    return;
  }
  // The row is written only while it holds what this set last read: a record another
  // client changed meanwhile is left alone.
  if (!WriteEdit(changes)) {
    if (!CurrentRowExists()) throw DeletedByOther();
    throw ChangedByOther();
  }
  editMode_ = EditMode::kNone;
  ShowSaved();
}

void Recordset::SaveNew() {
  WriteNew(ChangedColumns());
  editMode_ = EditMode::kNone;
  if (cursor_ == Cursor::kEof) position_ = KeyCount();
}

void Recordset::Delete() {
  CheckWritable();
  CheckCurrent();
  if (!DeleteCurrent()) throw DeletedByOther();
  CurrentDeleted();
}

void Recordset::CurrentDeleted() {
  editMode_ = EditMode::kNone;
  ClearCurrent();
  cursor_ = Cursor::kDeleted;
}

}  // namespace corvane
