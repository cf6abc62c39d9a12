#pragma once

#include <sqlite3.h>

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/recordset.h"
#include "engine/statement.h"

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

// A set of a SQLite file. Writes bind their values, and an update compares every field
// with its value as last read (SQLite's own copy of it).
class SqliteRecordset final : public Recordset {
 public:
  SqliteRecordset(std::shared_ptr<Connection> connection, QString name, SetSource source,
                  std::vector<FieldInfo> fields);
  ~SqliteRecordset() override;

  bool Updatable() const override { return !source_.table.isEmpty(); }
  void Close() override;

 private:
  int64_t KeyCount() const override { return static_cast<int64_t>(keys_.size()); }
  void FetchCurrent() override;
  void ForgetCurrent() override;
  void Find(const QString& criterion, int64_t from) override;
  Qt::CaseSensitivity ColumnNameCase() const override { return Qt::CaseInsensitive; }
  bool WriteEdit(const std::vector<ColumnValue>& changes) override;
  bool CurrentRowExists() override;
  // The row is read again: SQLite's own copy of each value is what the next edit compares.
  void ShowSaved() override { FetchCurrent(); }
  void WriteNew(const std::vector<ColumnValue>& values) override;
  bool DeleteCurrent() override;

  void LoadKeys();
  // Keeps the primary key table of a set without rowid up to date after a write.
  void StoreKeyValues(bool isNew);

  std::shared_ptr<Connection> connection_;
  SetSource source_;
  std::vector<int64_t> keys_;
  Statement fetch_;
  std::vector<sqlite3_value*> original_;  // as last read, for the conflict check
};

}  // namespace corvane
