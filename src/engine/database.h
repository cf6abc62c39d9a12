#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/field_type.h"
#include "engine/recordset.h"

namespace corvane {

class Connection;

// Attributes of a table definition: 0 for a user table; SQLite's own tables and the
// engine's are system tables.
constexpr int32_t kUserTableAttributes = 0;
constexpr int32_t kSystemTableAttributes = static_cast<int32_t>(0x80000002u);

struct TableDef {
  QString name;
  int32_t attributes = kUserTableAttributes;
  std::vector<FieldInfo> fields;
};

// A stored query (a view of the file) or, with an empty name, a temporary one that
// lives only as long as the sets opened on it.
class QueryDef {
 public:
  QueryDef(std::shared_ptr<Connection> connection, QString name, QString sql);
  const QString& Name() const { return name_; }
  // A dynaset over the query; a temporary query's set is named "#Temporary QueryDef#".
  std::unique_ptr<Recordset> OpenRecordset() const;

 private:
  std::shared_ptr<Connection> connection_;
  QString name_;
  QString sql_;
};

// An open database file. Closing it (or destroying it) closes every set opened on it;
// such sets then raise an error instead of reading freed state.
class Database {
 public:
  explicit Database(std::shared_ptr<Connection> connection);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const QString& Name() const { return name_; }  // the file's path
  bool isOpen() const;
  void Close();

  // A table or stored query by name, or the client's Jet SQL; always a dynaset.
  std::unique_ptr<Recordset> OpenRecordset(const QString& source);
  // Named: checks the client's Jet SELECT and stores it at once as a query (error 3012
  // when the name is taken). Empty name: a temporary query, nothing stored.
  QueryDef CreateQueryDef(const QString& name, const QString& jetSql);
  std::vector<QueryDef> QueryDefs() const;  // in the order they were stored
  // The field names of a stored query, from its prepared statement: the query is not run.
  // A query that cannot be read (over a missing table, or with a name that asks for a
  // parameter) throws as opening it would.
  QStringList QueryFieldNames(const QString& name) const;
  void DeleteQueryDef(const QString& name);
  // Every table in definition order, system tables included (with their attributes).
  std::vector<TableDef> TableDefs() const;
  TableDef TableDefByName(const QString& name) const;  // 3265 when absent

  // How long opening a query or a find may run before it is stopped (kClientWorkLimitMs
  // unless set): a client's query must not hold a worker forever.
  void SetQueryTimeLimit(int milliseconds);
  // See Connection::SetTempStorageLimit.
  void SetTempStorageLimit(qint64 bytes);
  // See Connection::SetCancelFlag and Connection::SetDeadline.
  void SetCancelFlag(const std::atomic<bool>* cancel);
  void SetDeadline(qint64 msSinceEpoch);

 private:
  std::shared_ptr<Connection> connection_;
  QString name_;
};

// Opens an existing database file shared and writable (3024 when there is no file,
// 3343 when it is no database, 3260 when it is locked).
std::unique_ptr<Database> OpenDatabase(const QString& path);

}  // namespace corvane
