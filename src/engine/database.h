#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/field_type.h"
#include "engine/recordset.h"

namespace corvane {

// Attributes of a table definition: 0 for a user table; the engine's own tables are
// system tables.
constexpr int32_t kUserTableAttributes = 0;
constexpr int32_t kSystemTableAttributes = static_cast<int32_t>(0x80000002u);

struct TableDef {
  QString name;
  int32_t attributes = kUserTableAttributes;
  std::vector<FieldInfo> fields;
};

// A client's stored query that could not be removed yet: the location of its database (as
// published) and its name.
struct LeftQuery {
  QString location;
  QString name;
  bool operator==(const LeftQuery&) const = default;
};

// A stored query (a view of the database) or, with an empty name, a temporary one that
// lives only as long as the sets opened on it.
class QueryDef {
 public:
  using Opener = std::function<std::unique_ptr<Recordset>()>;
  QueryDef(QString name, Opener open) : name_(std::move(name)), open_(std::move(open)) {}
  const QString& Name() const { return name_; }
  // A dynaset over the query; a temporary query's set is named "#Temporary QueryDef#".
  std::unique_ptr<Recordset> OpenRecordset() const { return open_(); }

 private:
  QString name_;
  Opener open_;
};

// An open database, whichever engine serves it. Closing it (or destroying it) closes
// every set opened on it; such sets then raise an error instead of reading freed state.
class Database {
 public:
  virtual ~Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Where it was published: a file's path or a server database's connection text.
  const QString& Name() const { return name_; }
  virtual bool isOpen() const = 0;
  virtual void Close() = 0;
  // Whether its work mostly waits for another server to answer (a server database): such
  // work gets threads of its own, so that waiting holds none of the computing threads.
  virtual bool WaitsOnServer() const { return false; }

  // A table or stored query by name, or the client's Jet SQL; always a dynaset.
  virtual std::unique_ptr<Recordset> OpenRecordset(const QString& source) = 0;
  // Named: checks the client's Jet SELECT and stores it at once as a query (error 3012
  // when the name is taken). Empty name: a temporary query, nothing stored.
  virtual QueryDef CreateQueryDef(const QString& name, const QString& jetSql) = 0;
  virtual std::vector<QueryDef> QueryDefs() const = 0;  // in the order they were stored
  // The field names of a stored query, without running it. A query that cannot be read
  // (over a missing table, or with a name that asks for a parameter) throws as opening it
  // would.
  virtual QStringList QueryFieldNames(const QString& name) const = 0;
  virtual void DeleteQueryDef(const QString& name) = 0;
  // Every table in definition order, system tables included (with their attributes).
  virtual std::vector<TableDef> TableDefs() const = 0;
  TableDef TableDefByName(const QString& name) const;  // 3265 when absent

  // How long opening a query or a find may run before it is stopped (kClientWorkLimitMs
  // unless set): a client's query must not hold a worker forever.
  virtual void SetQueryTimeLimit(int milliseconds) = 0;
  // The most the engine's temporary storage for this database may take.
  virtual void SetTempStorageLimit(qint64 bytes) = 0;
  // While the flag is set, statements stop at their next check: another thread tells the
  // request that its result is no longer wanted. nullptr takes it away.
  virtual void SetCancelFlag(const std::atomic<bool>* cancel) = 0;
  // Statements stop once this moment (ms since the epoch) has passed; 0 takes it away.
  virtual void SetDeadline(qint64 msSinceEpoch) = 0;

 protected:
  explicit Database(QString name) : name_(std::move(name)) {}

 private:
  QString name_;
};

// Opens the databases the operator published, by location: the one place where the
// engine serving a database is chosen.
class DatabaseOpener {
 public:
  virtual ~DatabaseOpener() = default;
  // Throws EngineError when the database cannot be opened.
  virtual std::unique_ptr<Database> Open(const QString& location) = 0;
};

// Opens an existing database file shared and writable (3024 when there is no file,
// 3343 when it is no database, 3260 when it is locked).
std::unique_ptr<Database> OpenDatabase(const QString& path);

// Every location is a database file.
class FileDatabaseOpener final : public DatabaseOpener {
 public:
  std::unique_ptr<Database> Open(const QString& location) override {
    return OpenDatabase(location);
  }
};

}  // namespace corvane
