#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "engine/field_type.h"

namespace corvane {

class Connection;

// What the engine needs to know about one table of the main database.
struct TableInfo {
  struct Column {
    QString name;
    QString declared;
    bool notNull = false;
    bool hasDefault = false;
    int primaryKey = 0;   // 1-based position in the primary key, 0 when not in it
    bool hidden = false;  // hidden column of a virtual table: not in SELECT *
  };
  QString name;  // as stored in the catalogue
  std::vector<Column> columns;
  bool withoutRowid = false;
  QString rowidAlias;  // the INTEGER PRIMARY KEY column, if any
  QString keyName;     // what addresses a row: the alias, rowid, _rowid_ or oid

  const Column* Find(const QString& column) const;
  // Descriptor of one column as a field of a set (name as the set shows it).
  FieldInfo Field(const Column& column, const QString& shownName) const;
  std::vector<QString> PrimaryKey() const;  // in key order
};

// SQLite's own tables (sqlite_sequence, sqlite_stat1, ...), which clients may read but
// never change: a client's row in sqlite_sequence would decide the next key of every
// user's records. The engine keeps its working tables in the connection's temporary
// schema, never in the file.
bool IsInternalTable(const QString& name);

// Reads a table's columns; nullopt when main has no table of that name.
std::optional<TableInfo> LoadTableInfo(Connection& connection, const QString& table);

}  // namespace corvane
