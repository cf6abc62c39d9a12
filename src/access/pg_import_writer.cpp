#include "access/pg_import_writer.h"

#include <QStringList>
#include <algorithm>

#include "access/pg_import_values.h"
#include "engine/engine_error.h"
#include "engine/jet_sql.h"
#include "engine/sql_tokens.h"
#include "engine/work_limits.h"
#include "postgres/pg_client_sql.h"
#include "postgres/pg_jet_sql.h"

namespace corvane {

namespace {

// The import's statements have no limit of their own: the process that runs the import
// is held to the import's time limit, and the server ends the transaction with it.
constexpr int kImportStatementTimeoutMs = 0;

// Imports into one database wait for each other (an advisory lock held to the end of the
// transaction), so that two cannot both find it empty.
constexpr qint64 kImportLockKey = 0x636f7276616e65;  // "corvane"

// How many names of what the database holds a refusal lists.
constexpr int kNamesShown = 5;

// Rows go to the server many to a statement: one round trip per row would hold a large
// table's import to the network's latency. At most kRowsPerInsert rows, and at most
// kParamsPerInsert values (PostgreSQL takes 65535 parameters to a statement).
constexpr int kRowsPerInsert = 200;
constexpr int kParamsPerInsert = 30000;

class PgRowWriter final : public ImportRowWriter {
 public:
  PgRowWriter(PgConnection& connection, const AccessTableDef& table, const AccessTablePlan& plan)
      : connection_(connection), plan_(plan) {
    for (int column : plan.columns) types_.push_back(table.columns[column].type);
    const int width = std::max<int>(1, static_cast<int>(types_.size()));
    batchRows_ = std::clamp(kParamsPerInsert / width, 1, kRowsPerInsert);
  }

  bool Write(const std::vector<AccessValue>& row, QString* error) override {
    ++rows_;
    for (size_t i = 0; i < types_.size(); ++i) {
      PgParam param;
      QString refused;
      if (!ImportParam(types_[i], row[plan_.columns[i]], &param, &refused)) {
        *error = QStringLiteral("row %1: %2").arg(rows_).arg(refused);
        return false;
      }
      kept_.push_back(std::move(param));
    }
    return KeptRows() < batchRows_ || Flush(error);
  }

  bool Finish(QString* error) override { return KeptRows() == 0 || Flush(error); }

 private:
  int KeptRows() const {
    return types_.empty() ? 0 : static_cast<int>(kept_.size() / types_.size());
  }

  // Writes the kept rows in one statement. When it is refused, they go again one by one to
  // find the row to name.
  bool Flush(QString* error) {
    const int count = KeptRows();
    const qint64 first = rows_ - count + 1;
    QStringList groups;
    int n = 0;
    for (int r = 0; r < count; ++r) {
      QStringList params;
      for (size_t c = 0; c < types_.size(); ++c) params << QStringLiteral("$%1").arg(++n);
      groups << QLatin1Char('(') + params.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    std::vector<PgParam> params;
    params.swap(kept_);
    if (count == 1) return Insert(plan_.insert, params, first, error);
    Exec(QStringLiteral("SAVEPOINT corvane_rows"), {});
    if (Insert(QStringLiteral("%1 VALUES %2").arg(plan_.insertInto, groups.join(", ")), params,
               first, error)) {
      Exec(QStringLiteral("RELEASE SAVEPOINT corvane_rows"), {});
      return true;
    }
    Exec(QStringLiteral("ROLLBACK TO SAVEPOINT corvane_rows"), {});
    Exec(QStringLiteral("RELEASE SAVEPOINT corvane_rows"), {});
    const auto width = static_cast<std::ptrdiff_t>(types_.size());
    for (int r = 0; r < count; ++r) {
      const std::vector<PgParam> one(params.begin() + r * width, params.begin() + (r + 1) * width);
      if (!Insert(plan_.insert, one, first + r, error)) return false;
    }
    return true;  // refused together, taken one by one: as good
  }

  bool Insert(const QString& sql, const std::vector<PgParam>& params, qint64 row, QString* error) {
    try {
      connection_.Exec(sql, params);
      return true;
    } catch (const EngineError& refused) {
      if (!connection_.Usable()) throw ImportWriteFailure(refused.description());
      *error = QStringLiteral("row %1: %2").arg(row).arg(refused.description());
      return false;
    }
  }

  void Exec(const QString& sql, const std::vector<PgParam>& params) {
    try {
      connection_.Exec(sql, params);
    } catch (const EngineError& error) {
      throw ImportWriteFailure(error.description());
    }
  }

  PgConnection& connection_;
  const AccessTablePlan& plan_;
  std::vector<AccessType> types_;
  std::vector<PgParam> kept_;
  int batchRows_ = 1;
  qint64 rows_ = 0;
};

class PgImportWriter final : public ImportWriter {
 public:
  explicit PgImportWriter(const QString& location)
      : connection_(location, kImportStatementTimeoutMs) {}

  ImportDialect dialect() const override { return ImportDialect::kPostgres; }

  void Begin() override {
    Execute(QStringLiteral("BEGIN"));
    Execute(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kImportLockKey));
    if (Execute(QStringLiteral("SELECT current_schema() IS NULL")).Bytes(0, 0) == "t") {
      throw ImportWriteFailure(
          QStringLiteral("its search path names no schema that exists, so there is nowhere to "
                         "create the tables."));
    }
    // The same relations the server publishes from the database.
    const PgResult held = Execute(QStringLiteral(
        "SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
        "WHERE n.nspname = ANY (current_schemas(false)) AND c.relkind IN ('r', 'p', 'v', 'm', "
        "'f') ORDER BY c.oid"));
    if (held.Rows() > 0) {
      QStringList names;
      for (int r = 0; r < held.Rows() && r < kNamesShown; ++r) names << held.Text(r, 0);
      if (held.Rows() > kNamesShown) names << QStringLiteral("...");
      throw ImportWriteFailure(
          QStringLiteral("it already holds tables or views (%1). An import goes only into an "
                         "empty database, so that nothing kept there is mixed with or replaced "
                         "by what the Access file holds: create a new database for it.")
              .arg(names.join(QStringLiteral(", "))));
    }
  }

  void Commit() override { Execute(QStringLiteral("COMMIT")); }

  QString ReservedNameReason(const QString&) const override { return QString(); }

  // A statement that fails spoils the transaction: it runs within a savepoint of its own.
  QString TryExecute(const QString& sql) override {
    Execute(QStringLiteral("SAVEPOINT corvane_try"));
    try {
      connection_.Exec(sql);
    } catch (const EngineError& refused) {
      if (!connection_.Usable()) throw ImportWriteFailure(refused.description());
      Execute(QStringLiteral("ROLLBACK TO SAVEPOINT corvane_try"));
      Execute(QStringLiteral("RELEASE SAVEPOINT corvane_try"));
      return refused.description().isEmpty() ? QStringLiteral("refused") : refused.description();
    }
    Execute(QStringLiteral("RELEASE SAVEPOINT corvane_try"));
    return QString();
  }

  // A refused row spoils the transaction too: the whole table goes back to its savepoint.
  void BeginTable() override { Execute(QStringLiteral("SAVEPOINT corvane_table")); }
  void EndTable(const QString&, bool keep) override {
    if (!keep) Execute(QStringLiteral("ROLLBACK TO SAVEPOINT corvane_table"));
    Execute(QStringLiteral("RELEASE SAVEPOINT corvane_table"));
  }

  std::unique_ptr<ImportRowWriter> PrepareInsert(const AccessTableDef& table,
                                                 const AccessTablePlan& plan, QString*) override {
    return std::make_unique<PgRowWriter>(connection_, table, plan);
  }

  // The translation the server gives its clients' saved queries: the names as the
  // database spells them, values quoted into the statement, since a view keeps it.
  std::optional<QString> Translate(const QString& jetSql) override {
    JetPgTarget target;
    try {
      target = CatalogueNames(connection_).Target();
    } catch (const EngineError& error) {
      throw ImportWriteFailure(error.description());
    }
    target.quote = [this](const QString& value) { return connection_.QuoteLiteral(value); };
    try {
      const QString sql = StripTrailingSemicolons(TranslateJetSqlForPostgres(jetSql, target));
      if (sql.trimmed().isEmpty() || !target.params.empty()) return std::nullopt;
      return sql;
    } catch (const EngineError&) {
      if (!connection_.Usable()) throw ImportWriteFailure(QStringLiteral("connection lost"));
      return std::nullopt;
    }
  }

  bool HoldsMoreThanOneStatement(const QString& sql) override {
    std::vector<SqlToken> tokens;
    try {
      tokens = TokenizeSql(sql, SqlDialect::kSqlite);
    } catch (const EngineError&) {
      return false;  // the statement's own error tells more
    }
    bool ended = false;
    for (const SqlToken& t : tokens) {
      if (t.isBlank()) continue;
      if (ended) return true;
      ended = t.isSymbol(";");
    }
    return false;
  }

  // A saved query of the file is tried as a client's query runs: reading only, within a
  // client's time limit. Rolling back its savepoint ends both, and anything it did.
  bool Opens(const QString& sql, QString* error) override {
    Execute(QStringLiteral("SAVEPOINT corvane_try"));
    error->clear();
    try {
      connection_.Exec(QStringLiteral("SET LOCAL transaction_read_only = on"));
      connection_.Exec(QStringLiteral("SET LOCAL statement_timeout = %1").arg(kClientWorkLimitMs));
      connection_.Exec(QStringLiteral("SELECT * FROM (%1\n) AS corvane_q LIMIT 1").arg(sql));
    } catch (const EngineError& refused) {
      if (!connection_.Usable()) throw ImportWriteFailure(refused.description());
      *error = refused.description().isEmpty() ? QStringLiteral("refused") : refused.description();
    }
    Execute(QStringLiteral("ROLLBACK TO SAVEPOINT corvane_try"));
    Execute(QStringLiteral("RELEASE SAVEPOINT corvane_try"));
    return error->isEmpty();
  }

 private:
  PgResult Execute(const QString& sql) {
    try {
      return connection_.Exec(sql);
    } catch (const EngineError& error) {
      throw ImportWriteFailure(error.description());
    }
  }

  PgConnection connection_;
};

}  // namespace

std::unique_ptr<ImportWriter> OpenPgImportWriter(const QString& location) {
  try {
    return std::make_unique<PgImportWriter>(location);
  } catch (const EngineError& error) {
    throw ImportWriteFailure(error.description());
  }
}

}  // namespace corvane
