#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "engine/field_type.h"
#include "engine/variant.h"

namespace corvane {

// A dynaset: the keys of its records in order, and the current record fetched by key.
// Moving past the last record sets Eof, before the first Bof. Writes address their row
// by key and fail unless exactly that row changed; an Update also fails (3197) when
// another client changed the record since this set last read it.
//
// The cursor, the current record's values, the edit buffer and how a save or a delete
// goes live here, so they are the same for every engine; an engine supplies its keys,
// reads one record by key, and runs its statements to write one.
class Recordset {
 public:
  static constexpr const char* kTemporaryName = "#Temporary QueryDef#";

  virtual ~Recordset() = default;
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  const QString& Name() const { return name_; }
  virtual bool Updatable() const = 0;
  bool isOpen() const { return open_; }
  // Closing twice is harmless; a closed set raises 3420 on every use.
  virtual void Close() = 0;

  int64_t RecordCount() const;
  int64_t AbsolutePosition() const;  // 0-based; -1 without a current record
  void SetAbsolutePosition(int64_t position);
  bool Eof() const;
  bool Bof() const;
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrevious();

  const std::vector<FieldInfo>& Fields() const { return fields_; }
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  int FieldIndex(const QString& name) const;  // -1 when absent
  // The value of field i of the current record (or of the record being edited).
  Variant Value(int i) const;
  void SetValue(int i, const Variant& value);

  void Edit();
  void AddNew();
  // Saves the edit or the new record; a conflict is always reported.
  void Update();
  void CancelUpdate();
  void Delete();

  // Jet criteria; the current record moves to the match, or stays when there is none.
  void FindFirst(const QString& criterion);
  void FindNext(const QString& criterion);
  bool NoMatch() const { return noMatch_; }

 protected:
  enum class Cursor { kBof, kRecord, kEof, kDeleted };
  enum class EditMode { kNone, kEdit, kAdd };

  Recordset(QString name, std::vector<FieldInfo> fields)
      : name_(std::move(name)), fields_(std::move(fields)) {}

  // What an engine provides.
  virtual int64_t KeyCount() const = 0;
  // Replaces values_ with the record of the key at position_, or sets missing_ when its
  // row is gone.
  virtual void FetchCurrent() = 0;
  // Drops what the engine kept of the current record (its values as read, for the
  // conflict check).
  virtual void ForgetCurrent() {}
  // Sets noMatch_, or moves to the first record at or after `from` meeting the criterion.
  virtual void Find(const QString& criterion, int64_t from) = 0;

  // Writing. A column a save writes: its field and the value as stored.
  struct ColumnValue {
    int field;
    Variant value;
  };
  // How the engine compares column names (two fields of one column are written once).
  virtual Qt::CaseSensitivity ColumnNameCase() const = 0;
  // Updates the current record's row with `changes`, provided every field still holds the
  // value last read; false when no row matched. On success the set keeps the row's key.
  virtual bool WriteEdit(const std::vector<ColumnValue>& changes) = 0;
  // Whether the current record's row is still there.
  virtual bool CurrentRowExists() = 0;
  // After WriteEdit: the record as saved becomes the current values.
  virtual void ShowSaved() = 0;
  // Inserts a record of `values` and appends its key.
  virtual void WriteNew(const std::vector<ColumnValue>& values) = 0;
  // Deletes the current record's row and drops its key; false when there was none.
  virtual bool DeleteCurrent() = 0;

  // For the engines.
  void CheckOpen() const;
  void CheckCurrent() const;
  void CheckWritable() const;
  void GoTo(int64_t position);
  // No record is current: what the engine kept of the last one and its values go.
  void ClearCurrent();
  // The common part of closing; true when the set was open.
  bool MarkClosed();

  QString name_;
  std::vector<FieldInfo> fields_;
  bool open_ = true;
  int64_t position_ = 0;
  Cursor cursor_ = Cursor::kBof;
  bool missing_ = false;  // the current key's row is gone (deleted elsewhere)
  std::vector<Variant> values_;
  EditMode editMode_ = EditMode::kNone;
  std::vector<Variant> buffer_;
  std::vector<bool> dirty_;
  bool noMatch_ = false;

 private:
  void SaveEdit();
  void SaveNew();
  // The fields set since Edit or AddNew, each column once (the later of two fields of one
  // column wins), last field first, with their values as stored.
  std::vector<ColumnValue> ChangedColumns() const;
  // After a delete: the current record is gone, the next one takes its position.
  void CurrentDeleted();
};

}  // namespace corvane
