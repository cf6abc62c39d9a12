#pragma once

#include <memory>

#include "engine/database.h"
#include "postgres/pg_connection.h"

namespace corvane {

class PgPool;
struct PgShared;

// A role that is a superuser may do what no client should reach through it (write files
// as the database server's account, end other sessions), whatever the server refuses of
// the clients' SQL: such a database is not served.
inline constexpr char kSuperuserRefusal[] =
    "The role this server database is reached as is a superuser. Serve it through a role "
    "of least privilege (see \"A least-privilege role\" in docs/postgresql.md).";
// Throws EngineError 3151 with kSuperuserRefusal for a connection as a superuser.
void RefuseSuperuser(const PgConnection& connection);

// A published server database: the tables and views of its search path (system schemas
// left out); views are the stored queries. Every call borrows a connection of the pool
// for its own statements, so a client's set holds no connection between requests.
class PgDatabase final : public Database {
 public:
  explicit PgDatabase(std::shared_ptr<PgPool> pool);
  ~PgDatabase() override;

  bool isOpen() const override;
  bool WaitsOnServer() const override { return true; }
  void Close() override;
  std::unique_ptr<Recordset> OpenRecordset(const QString& source) override;
  QueryDef CreateQueryDef(const QString& name, const QString& jetSql) override;
  std::vector<QueryDef> QueryDefs() const override;
  QStringList QueryFieldNames(const QString& name) const override;
  void DeleteQueryDef(const QString& name) override;
  std::vector<TableDef> TableDefs() const override;
  // A client's query or find is held to this statement_timeout; every statement to
  // kClientWorkLimitMs, and stops when the request's cancel flag is set or its deadline
  // passes.
  void SetQueryTimeLimit(int milliseconds) override;
  // Sets keep their keys in memory; the server's temporary storage is the server's to cap.
  void SetTempStorageLimit(qint64) override {}
  void SetCancelFlag(const std::atomic<bool>* cancel) override;
  void SetDeadline(qint64 msSinceEpoch) override;

 private:
  void CheckOpen() const;

  std::shared_ptr<PgShared> shared_;
};

}  // namespace corvane
