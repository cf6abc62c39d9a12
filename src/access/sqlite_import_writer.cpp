#include "access/sqlite_import_writer.h"

#include "access/import_guard.h"
#include "base/sqlite_database.h"
#include "base/sqlite_statement.h"
#include "engine/jet_functions.h"

namespace corvane {

namespace {

// The few calls the import makes, with errors as exceptions.
class SqliteImportWriter final : public ImportWriter {
 public:
  SqliteImportWriter(const QString& path, JetSqlTranslator translate)
      : translate_(std::move(translate)) {
    if (db_.Open(path, SQLITE_OPEN_READWRITE) != SQLITE_OK)
      throw ImportWriteFailure(db_.ErrorMessage());
    // Translated queries call the Jet functions the engine provides; a view over them
    // must open here as it will through the engine.
    RegisterJetFunctions(db_.get());
    // The file is renamed into place only when complete: no journal is needed.
    Execute(QStringLiteral("PRAGMA journal_mode=OFF"));
    Execute(QStringLiteral("PRAGMA synchronous=OFF"));
    GuardImportWriter(db_.get());
  }

  ImportDialect dialect() const override { return ImportDialect::kSqlite; }
  void Begin() override { Execute(QStringLiteral("BEGIN")); }
  void Commit() override { Execute(QStringLiteral("COMMIT")); }
  QString ReservedNameReason(const QString& table) const override {
    if (table.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive))
      return QStringLiteral("SQLite keeps that name for itself");
    return QString();
  }
  QString TryExecute(const QString& sql) override {
    QString error;
    if (db_.Execute(sql.toUtf8(), &error) != SQLITE_OK) return error;
    return QString();
  }
  // Without a journal there is nothing to roll back to: a table that failed is dropped.
  void BeginTable() override {}
  void EndTable(const QString& name, bool keep) override {
    if (!keep) Execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(SqlName(name)));
  }
  std::unique_ptr<ImportRowWriter> PrepareInsert(const AccessTableDef&, const AccessTablePlan& plan,
                                                 QString* error) override;
  std::optional<QString> Translate(const QString& jetSql) override {
    return translate_ ? translate_(jetSql) : std::nullopt;
  }
  // Once the first statement prepares (it may read a view not yet written).
  bool HoldsMoreThanOneStatement(const QString& sql) override {
    const QByteArray text = sql.toUtf8();
    SqliteStatement first;
    const char* tail = nullptr;
    return first.Prepare(db_.get(), text, &tail) == SQLITE_OK &&
           !OnlyBlanksAfter(db_.get(), text, tail);
  }
  bool Opens(const QString& sql, QString* error) override {
    SqliteStatement stmt;
    if (stmt.Prepare(db_.get(), sql.toUtf8()) != SQLITE_OK) {
      *error = db_.ErrorMessage();
      return false;
    }
    if (!stmt.IsReadOnly() || stmt.ColumnCount() == 0) {
      *error = QStringLiteral("it is no SELECT statement");
      return false;
    }
    const int rc = stmt.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
      *error = db_.ErrorMessage();
      return false;
    }
    return true;
  }

 private:
  void Execute(const QString& sql) {
    if (const QString error = TryExecute(sql); !error.isEmpty()) throw ImportWriteFailure(error);
  }

  SqliteDatabase db_;
  JetSqlTranslator translate_;
};

// The row's values stay unchanged until the statement has been stepped and reset, so
// SQLite reads them where they are.
void Bind(SqliteStatement& stmt, int index, const AccessValue& value) {
  constexpr SqliteStatement::Bytes kInPlace = SqliteStatement::Bytes::kBorrowed;
  switch (value.kind) {
    case AccessValue::Kind::kNull:
      stmt.BindNull(index);
      break;
    case AccessValue::Kind::kInteger:
      stmt.BindInteger(index, value.integer);
      break;
    case AccessValue::Kind::kReal:
      stmt.BindReal(index, value.real);
      break;
    case AccessValue::Kind::kText:
      stmt.BindText(index, value.bytes, kInPlace);
      break;
    case AccessValue::Kind::kBlob:
      stmt.BindBlob(index, value.bytes, kInPlace);
      break;
  }
}

class SqliteRowWriter final : public ImportRowWriter {
 public:
  SqliteRowWriter(SqliteDatabase& db, SqliteStatement insert, std::vector<int> columns)
      : db_(db), insert_(std::move(insert)), columns_(std::move(columns)) {}
  bool Write(const std::vector<AccessValue>& row, QString* error) override {
    for (size_t i = 0; i < columns_.size(); ++i)
      Bind(insert_, static_cast<int>(i) + 1, row[columns_[i]]);
    const int rc = insert_.Step();
    insert_.Reset();
    ++rows_;
    if (rc == SQLITE_DONE) return true;
    *error = QStringLiteral("row %1: %2").arg(rows_).arg(db_.ErrorMessage());
    return false;
  }

 private:
  SqliteDatabase& db_;
  SqliteStatement insert_;
  std::vector<int> columns_;
  qint64 rows_ = 0;
};

std::unique_ptr<ImportRowWriter> SqliteImportWriter::PrepareInsert(const AccessTableDef&,
                                                                   const AccessTablePlan& plan,
                                                                   QString* error) {
  SqliteStatement insert;
  if (insert.Prepare(db_.get(), plan.insert.toUtf8()) != SQLITE_OK) {
    *error = db_.ErrorMessage();
    return nullptr;
  }
  return std::make_unique<SqliteRowWriter>(db_, std::move(insert), plan.columns);
}

}  // namespace

std::unique_ptr<ImportWriter> OpenSqliteImportWriter(const QString& path,
                                                     JetSqlTranslator translate) {
  return std::make_unique<SqliteImportWriter>(path, std::move(translate));
}

}  // namespace corvane
