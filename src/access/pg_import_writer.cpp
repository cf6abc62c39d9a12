#include "access/pg_import_writer.h"

#include <QStringList>

#include "access/pg_import_values.h"
#include "engine/engine_error.h"
#include "engine/jet_sql.h"
#include "engine/sql_tokens.h"
#include "postgres/pg_client_sql.h"

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

class PgRowWriter final : public ImportRowWriter {
 public:
  PgRowWriter(PgConnection& connection, const AccessTableDef& table, const AccessTablePlan& plan)
      : connection_(connection), insert_(plan.insert), columns_(plan.columns) {
    for (int column : columns_) types_.push_back(table.columns[column].type);
    params_.resize(columns_.size());
  }

  bool Write(const std::vector<AccessValue>& row, QString* error) override {
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (!ImportParam(types_[i], row[columns_[i]], &params_[i], error)) return false;
    }
    try {
      connection_.Exec(insert_, params_);
    } catch (const EngineError& refused) {
      if (!connection_.Usable()) throw ImportWriteFailure(refused.description());
      *error = refused.description();
      return false;
    }
    return true;
  }

 private:
  PgConnection& connection_;
  QString insert_;
  std::vector<int> columns_;
  std::vector<AccessType> types_;
  std::vector<PgParam> params_;
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
    JetPgTarget target = CatalogueNames(connection_).Target();
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

  bool Opens(const QString& sql, QString* error) override {
    *error = TryExecute(QStringLiteral("SELECT * FROM (%1\n) AS corvane_q LIMIT 1").arg(sql));
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
