#pragma once

#include <memory>

#include "engine/database.h"

namespace corvane {

class Connection;

// A SQLite database file; its views are the stored queries.
class SqliteFileDatabase final : public Database {
 public:
  explicit SqliteFileDatabase(std::shared_ptr<Connection> connection);
  ~SqliteFileDatabase() override;

  bool isOpen() const override;
  void Close() override;
  std::unique_ptr<Recordset> OpenRecordset(const QString& source) override;
  QueryDef CreateQueryDef(const QString& name, const QString& jetSql) override;
  std::vector<QueryDef> QueryDefs() const override;
  QStringList QueryFieldNames(const QString& name) const override;
  void DeleteQueryDef(const QString& name) override;
  std::vector<TableDef> TableDefs() const override;
  void SetQueryTimeLimit(int milliseconds) override;
  // See Connection::SetTempStorageLimit.
  void SetTempStorageLimit(qint64 bytes) override;
  // See Connection::SetCancelFlag and Connection::SetDeadline.
  void SetCancelFlag(const std::atomic<bool>* cancel) override;
  void SetDeadline(qint64 msSinceEpoch) override;

 private:
  QueryDef MakeQueryDef(const QString& name, const QString& sql) const;

  std::shared_ptr<Connection> connection_;
};

}  // namespace corvane
