#pragma once

#include <sqlite3.h>

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/field_type.h"
#include "engine/statement.h"
#include "engine/variant.h"

namespace corvane {

class Connection;

// How a set reaches its records. Keys are rowids: of the base table for a set that can
// be written, of an engine temporary table for the others.
struct SetSource {
  QString keySql;       // the keys in the set's order
  int keyColumn = 0;    // which column of keySql holds the key
  QString sizeHintSql;  // a cheap estimate of the number of keys, or empty
  QString fetchSql;     // the fields of one record, key bound as ?1
  QString findFrom;     // what a criterion is evaluated over
  QString findKey;      // the key expression there
  // Writing (empty table: read-only set)
  QString table;    // base table, bare name
  QString keyName;  // the rowid column (or alias) of table; empty without rowid
  // The condition selecting the row of a key bound as parameter n is
  // keyWhereHead + "?n" + keyWhereTail (names may hold '%', so no arg() template).
  QString keyWhereHead;
  QString keyWhereTail;
  QString KeyWhere(int parameter) const {
    return keyWhereHead + QLatin1Char('?') + QString::number(parameter) + keyWhereTail;
  }
  // A table without rowid: its primary key values, one row per key, in a temporary
  // table whose rowids are the set's keys.
  QString keyTable;
  QStringList keyColumns;  // primary key columns of table, in key order
  QString tempTable;       // engine temporary table to drop with the set
  // A client's query: reading a record is held to the same time limit as opening it, since
  // the client's select list is evaluated for every record read.
  bool clientQuery = false;
};

// A dynaset: the keys of its records in order, and the current record fetched by key.
// Moving past the last record sets Eof, before the first Bof. Writes address their row
// by key with bound values and fail unless exactly that row changed; an Update also
// fails (3197) when another client changed the record since this set last read it.
class Recordset {
 public:
  static constexpr const char* kTemporaryName = "#Temporary QueryDef#";

  Recordset(std::shared_ptr<Connection> connection, QString name, SetSource source,
            std::vector<FieldInfo> fields);
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  const QString& Name() const { return name_; }
  bool Updatable() const { return !source_.table.isEmpty(); }
  bool isOpen() const { return open_; }
  void Close();

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

 private:
  enum class Cursor { kBof, kRecord, kEof, kDeleted };
  enum class EditMode { kNone, kEdit, kAdd };

  void CheckOpen() const;
  void CheckCurrent() const;
  void CheckWritable() const;
  void LoadKeys();
  void Fetch();
  void GoTo(int64_t position);
  void ClearOriginal();
  void Find(const QString& criterion, int64_t from);
  void SaveEdit();
  void SaveNew();
  // Keeps the primary key table of a set without rowid up to date after a write.
  void StoreKeyValues(bool isNew);

  std::shared_ptr<Connection> connection_;
  QString name_;
  SetSource source_;
  std::vector<FieldInfo> fields_;
  bool open_ = true;

  std::vector<int64_t> keys_;
  int64_t position_ = 0;
  Cursor cursor_ = Cursor::kBof;
  bool missing_ = false;  // the current key's row is gone (deleted elsewhere)
  Statement fetch_;
  std::vector<Variant> values_;
  std::vector<sqlite3_value*> original_;  // as last read, for the conflict check

  EditMode editMode_ = EditMode::kNone;
  std::vector<Variant> buffer_;
  std::vector<bool> dirty_;
  bool noMatch_ = false;
};

}  // namespace corvane
