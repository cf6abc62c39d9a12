#include "access/access_importer.h"

#include <sqlite3.h>

#include <QFile>
#include <QHash>
#include <QSet>

#include "access/access_file.h"
#include "access/access_table_plan.h"
#include "engine/jet_functions.h"

namespace corvane {

namespace {

class SqliteFailure {
 public:
  explicit SqliteFailure(QString message) : message(std::move(message)) {}
  QString message;
};

// The few calls the import makes, with errors as exceptions.
class Writer {
 public:
  explicit Writer(const QString& path) {
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) throw SqliteFailure(Message());
    // Translated queries call the Jet functions the engine provides; a view over them
    // must open here as it will through the engine.
    RegisterJetFunctions(db_);
  }
  ~Writer() { sqlite3_close(db_); }
  sqlite3* db() const { return db_; }
  QString Message() const {
    return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
  }
  void Execute(const QString& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
      const QString text = QString::fromUtf8(message ? message : "error");
      sqlite3_free(message);
      throw SqliteFailure(text);
    }
  }
  // Prepares a statement; nullptr and *error when SQLite refuses it.
  sqlite3_stmt* Prepare(const QString& sql, QString* error) {
    sqlite3_stmt* stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db_, utf8.constData(), static_cast<int>(utf8.size()), &stmt, nullptr) !=
        SQLITE_OK) {
      if (error) *error = Message();
      sqlite3_finalize(stmt);
      return nullptr;
    }
    return stmt;
  }
  // Whether a reading statement prepares and gives its first row (or none) without error.
  bool Opens(const QString& sql, QString* error) {
    sqlite3_stmt* stmt = Prepare(sql, error);
    if (!stmt) return false;
    const bool isReading = sqlite3_stmt_readonly(stmt) != 0 && sqlite3_column_count(stmt) > 0;
    const int rc = isReading ? sqlite3_step(stmt) : SQLITE_MISUSE;
    if (!isReading) {
      *error = QStringLiteral("it is no SELECT statement");
    } else if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
      *error = Message();
    }
    sqlite3_finalize(stmt);
    return isReading && (rc == SQLITE_ROW || rc == SQLITE_DONE);
  }

 private:
  sqlite3* db_ = nullptr;
};

void Bind(sqlite3_stmt* stmt, int index, const AccessValue& value) {
  switch (value.kind) {
    case AccessValue::Kind::kNull:
      sqlite3_bind_null(stmt, index);
      break;
    case AccessValue::Kind::kInteger:
      sqlite3_bind_int64(stmt, index, value.integer);
      break;
    case AccessValue::Kind::kReal:
      sqlite3_bind_double(stmt, index, value.real);
      break;
    case AccessValue::Kind::kText:
      sqlite3_bind_text(stmt, index, value.bytes.constData(), static_cast<int>(value.bytes.size()),
                        SQLITE_STATIC);
      break;
    case AccessValue::Kind::kBlob:
      sqlite3_bind_blob(stmt, index, value.bytes.constData(), static_cast<int>(value.bytes.size()),
                        SQLITE_STATIC);
      break;
  }
}

int ColumnIndex(const AccessTableDef& def, const char* name) {
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (def.columns[i].name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

QString TextAt(const std::vector<AccessValue>& row, int column) {
  if (column < 0 || row[column].kind != AccessValue::Kind::kText) return QString();
  return QString::fromUtf8(row[column].bytes);
}

int64_t IntegerAt(const std::vector<AccessValue>& row, int column) {
  if (column < 0) return 0;
  if (row[column].kind == AccessValue::Kind::kInteger) return row[column].integer;
  if (row[column].kind == AccessValue::Kind::kReal) return static_cast<int64_t>(row[column].real);
  return 0;
}

struct SavedQuery {
  int64_t id = 0;
  QString name;
  int flags = 0;
};

struct Catalogue {
  std::vector<SavedQuery> queries;
  std::vector<AccessImportReport::Skipped> linked;
};

// MSysObjects names the saved queries and the linked tables, which the library's own
// catalogue lists without their targets.
Catalogue ReadObjects(const AccessFile& file) {
  Catalogue catalogue;
  const std::optional<AccessTableDef> def = file.ReadTable(QStringLiteral("MSysObjects"));
  if (!def) return catalogue;
  const int id = ColumnIndex(*def, "Id"), name = ColumnIndex(*def, "Name"),
            type = ColumnIndex(*def, "Type"), flags = ColumnIndex(*def, "Flags"),
            database = ColumnIndex(*def, "Database"), foreign = ColumnIndex(*def, "ForeignName"),
            connect = ColumnIndex(*def, "Connect");
  file.ForEachRow(QStringLiteral("MSysObjects"), [&](const std::vector<AccessValue>& row) {
    const int64_t objectType = IntegerAt(row, type);
    if (objectType == 5) {
      catalogue.queries.push_back(
          {IntegerAt(row, id), TextAt(row, name), static_cast<int>(IntegerAt(row, flags))});
    } else if (objectType == 6) {
      catalogue.linked.push_back(
          {QStringLiteral("linked table"), TextAt(row, name),
           QStringLiteral("it is a link to table %1 in %2")
               .arg(TextAt(row, foreign).isEmpty() ? TextAt(row, name) : TextAt(row, foreign),
                    TextAt(row, database))});
    } else if (objectType == 4) {
      catalogue.linked.push_back({QStringLiteral("linked table"), TextAt(row, name),
                                  QStringLiteral("it is a link to ODBC table %1 (%2)")
                                      .arg(TextAt(row, foreign), TextAt(row, connect))});
    }
    return true;
  });
  return catalogue;
}

QHash<int64_t, std::vector<SavedQueryRow>> ReadQueryRows(const AccessFile& file) {
  QHash<int64_t, std::vector<SavedQueryRow>> rows;
  const std::optional<AccessTableDef> def = file.ReadTable(QStringLiteral("MSysQueries"));
  if (!def) return rows;
  const int attribute = ColumnIndex(*def, "Attribute"),
            expression = ColumnIndex(*def, "Expression"), flag = ColumnIndex(*def, "Flag"),
            name1 = ColumnIndex(*def, "Name1"), name2 = ColumnIndex(*def, "Name2"),
            object = ColumnIndex(*def, "ObjectId"), order = ColumnIndex(*def, "Order");
  file.ForEachRow(QStringLiteral("MSysQueries"), [&](const std::vector<AccessValue>& row) {
    rows[IntegerAt(row, object)].push_back(
        {order >= 0 ? row[order].bytes : QByteArray(), static_cast<int>(IntegerAt(row, attribute)),
         TextAt(row, expression), static_cast<int>(IntegerAt(row, flag)), TextAt(row, name1),
         TextAt(row, name2)});
    return true;
  });
  return rows;
}

class Importer {
 public:
  Importer(const AccessFile& file, Writer& writer, AccessImportReport& report,
           const JetSqlTranslator& translate)
      : file_(file), writer_(writer), report_(report), translate_(translate) {}

  void Run() {
    writer_.Execute(QStringLiteral("PRAGMA journal_mode=OFF"));
    writer_.Execute(QStringLiteral("PRAGMA synchronous=OFF"));
    writer_.Execute(QStringLiteral("BEGIN"));
    for (const QString& table : file_.UserTables()) ImportTable(table);
    const Catalogue catalogue = ReadObjects(file_);
    for (const AccessImportReport::Skipped& link : catalogue.linked)
      report_.skipped.push_back(link);
    ImportQueries(catalogue.queries);
    writer_.Execute(QStringLiteral("COMMIT"));
  }

 private:
  void Skip(const QString& kind, const QString& name, const QString& reason) {
    report_.skipped.push_back({kind, name, reason});
  }

  bool NameTaken(const QString& name) const { return usedNames_.contains(name.toLower()); }

  void ImportTable(const QString& name) {
    const std::optional<AccessTableDef> def = file_.ReadTable(name);
    if (!def)
      return Skip(QStringLiteral("table"), name, QStringLiteral("its definition cannot be read"));
    if (name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive))
      return Skip(QStringLiteral("table"), name,
                  QStringLiteral("SQLite keeps that name for itself"));
    AccessTablePlan plan = PlanTable(*def, indexNames_);
    try {
      writer_.Execute(plan.createTable);
    } catch (const SqliteFailure& failure) {
      return Skip(QStringLiteral("table"), name, failure.message);
    }
    usedNames_.insert(name.toLower());
    QString error;
    sqlite3_stmt* insert = writer_.Prepare(plan.insert, &error);
    qint64 rows = 0;
    bool read = insert != nullptr;
    if (insert) {
      read = file_.ForEachRow(name, [&](const std::vector<AccessValue>& row) {
        for (size_t i = 0; i < plan.columns.size(); ++i) {
          const AccessValue& value = row[plan.columns[i]];
          if (def->columns[plan.columns[i]].type == AccessType::kDateTime &&
              value.kind == AccessValue::Kind::kReal)
            ++report_.datesKeptAsNumbers;
          Bind(insert, static_cast<int>(i) + 1, value);
        }
        const int rc = sqlite3_step(insert);
        sqlite3_reset(insert);
        if (rc != SQLITE_DONE) {
          error = QStringLiteral("row %1: %2").arg(rows + 1).arg(writer_.Message());
          return false;
        }
        ++rows;
        return true;
      });
      sqlite3_finalize(insert);
    }
    if (!read || !error.isEmpty()) {
      writer_.Execute(QStringLiteral("DROP TABLE %1").arg(SqlName(name)));
      usedNames_.remove(name.toLower());
      return Skip(QStringLiteral("table"), name,
                  error.isEmpty() ? QStringLiteral("its rows cannot be read") : error);
    }
    for (qsizetype i = 0; i < plan.createIndexes.size(); ++i) {
      try {
        writer_.Execute(plan.createIndexes[i]);
      } catch (const SqliteFailure& failure) {
        Skip(QStringLiteral("index"), name + QLatin1Char('.') + plan.indexNames[i],
             failure.message);
      }
    }
    for (AccessImportReport::Skipped& s : plan.skipped) report_.skipped.push_back(std::move(s));
    if (rows < def->storedRowCount) {
      Skip(QStringLiteral("rows of table"), name,
           QStringLiteral("only %1 of its %2 rows could be read; the file is damaged")
               .arg(rows)
               .arg(def->storedRowCount));
    }
    report_.tables.push_back({name, rows});
  }

  void ImportQueries(const std::vector<SavedQuery>& queries) {
    if (queries.empty()) return;
    const QHash<int64_t, std::vector<SavedQueryRow>> rows = ReadQueryRows(file_);
    struct Pending {
      QString name;
      QString jetSql;
      QString sql;
      QString error;
    };
    std::vector<Pending> pending;
    for (const SavedQuery& query : queries) {
      if (query.name.startsWith(QLatin1Char('~'))) {
        Skip(QStringLiteral("query"), query.name, QStringLiteral("it belongs to a form or report"));
        continue;
      }
      const QString kind = ActionQueryKind(query.flags);
      if (!kind.isEmpty()) {
        Skip(QStringLiteral("query"), query.name,
             QStringLiteral("%1 queries are not published").arg(kind));
        continue;
      }
      const SavedQuerySql select = SelectSqlFromRows(rows.value(query.id));
      if (select.sql.isEmpty()) {
        Skip(QStringLiteral("query"), query.name, select.skipReason);
        continue;
      }
      const std::optional<QString> sql = translate_ ? translate_(select.sql) : std::nullopt;
      if (!sql) {
        Skip(QStringLiteral("query"), query.name,
             QStringLiteral("its SQL cannot be translated: %1").arg(select.sql));
        continue;
      }
      pending.push_back({query.name, select.sql, *sql, QString()});
    }
    // A query may read another one: repeat while a round brings in at least one.
    bool progress = true;
    while (progress && !pending.empty()) {
      progress = false;
      for (auto it = pending.begin(); it != pending.end();) {
        if (TryView(*it)) {
          report_.queries.append(it->name);
          it = pending.erase(it);
          progress = true;
        } else {
          ++it;
        }
      }
    }
    for (const Pending& p : pending)
      Skip(QStringLiteral("query"), p.name,
           QStringLiteral("its SQL does not open (%1): %2").arg(p.error, p.jetSql));
  }

  template <typename P>
  bool TryView(P& query) {
    if (NameTaken(query.name)) {
      query.error = QStringLiteral("a table has the same name");
      return false;
    }
    if (!writer_.Opens(query.sql, &query.error)) return false;
    const QString view = SqlName(query.name);
    try {
      writer_.Execute(QStringLiteral("CREATE VIEW %1 AS %2").arg(view, query.sql));
    } catch (const SqliteFailure& failure) {
      query.error = failure.message;
      return false;
    }
    if (!writer_.Opens(QStringLiteral("SELECT * FROM %1").arg(view), &query.error)) {
      writer_.Execute(QStringLiteral("DROP VIEW %1").arg(view));
      return false;
    }
    usedNames_.insert(query.name.toLower());
    return true;
  }

  const AccessFile& file_;
  Writer& writer_;
  AccessImportReport& report_;
  const JetSqlTranslator& translate_;
  QSet<QString> usedNames_;
  QStringList indexNames_;
};

}  // namespace

AccessImportOutcome ImportAccessFileInProcess(const QString& source, const QString& target,
                                              const JetSqlTranslator& translate) {
  AccessImportOutcome outcome;
  outcome.report.source = source;
  QString error;
  const std::unique_ptr<AccessFile> file = AccessFile::Open(source, &error);
  if (!file) {
    outcome.error = error;
    return outcome;
  }
  outcome.report.format = file->formatName();
  try {
    Writer writer(target);
    Importer(*file, writer, outcome.report, translate).Run();
  } catch (const SqliteFailure& failure) {
    outcome.error = QStringLiteral("%1 could not be written: %2").arg(target, failure.message);
    return outcome;
  }
  outcome.ok = true;
  return outcome;
}

}  // namespace corvane
