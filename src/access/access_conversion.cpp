#include "access/access_conversion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QHash>
#include <QSet>
#include <cerrno>
#include <cstring>

#include "access/access_file.h"
#include "access/access_table_plan.h"
#include "access/import_guard.h"
#include "base/sqlite_database.h"
#include "base/sqlite_statement.h"
#include "engine/jet_functions.h"

namespace corvane {

namespace {

// What the group and others may do with an import is at most what they may do with its
// Access file, and never execute it; the server, its owner, reads and writes it always.
constexpr mode_t kSharedBits = 0066;
constexpr mode_t kOwnerBits = 0600;

class SqliteFailure {
 public:
  explicit SqliteFailure(QString message) : message(std::move(message)) {}
  QString message;
};

// The few calls the import makes, with errors as exceptions.
class Writer {
 public:
  // `path` is the new, empty database file.
  explicit Writer(const QString& path) {
    if (db_.Open(path, SQLITE_OPEN_READWRITE) != SQLITE_OK) throw SqliteFailure(db_.ErrorMessage());
    // Translated queries call the Jet functions the engine provides; a view over them
    // must open here as it will through the engine.
    RegisterJetFunctions(db_.get());
    // The file is renamed into place only when complete: no journal is needed.
    Execute(QStringLiteral("PRAGMA journal_mode=OFF"));
    Execute(QStringLiteral("PRAGMA synchronous=OFF"));
    GuardImportWriter(db_.get());
  }
  QString Message() const { return db_.ErrorMessage(); }
  void Execute(const QString& sql) {
    QString error;
    if (db_.Execute(sql.toUtf8(), &error) != SQLITE_OK) throw SqliteFailure(error);
  }
  // Whether more than blanks and comments follows the first statement of `sql`, once that
  // one prepares (it may read a view not yet written).
  bool HoldsMoreThanOneStatement(const QString& sql) {
    const QByteArray text = sql.toUtf8();
    SqliteStatement first;
    const char* tail = nullptr;
    return first.Prepare(db_.get(), text, &tail) == SQLITE_OK &&
           !OnlyBlanksAfter(db_.get(), text, tail);
  }
  // Prepares a statement; an invalid one and *error when SQLite refuses it.
  SqliteStatement Prepare(const QString& sql, QString* error) {
    SqliteStatement stmt;
    if (stmt.Prepare(db_.get(), sql.toUtf8()) != SQLITE_OK) {
      if (error) *error = Message();
    }
    return stmt;
  }
  // Whether a reading statement prepares and gives its first row (or none) without error.
  bool Opens(const QString& sql, QString* error) {
    SqliteStatement stmt = Prepare(sql, error);
    if (!stmt.valid()) return false;
    if (!stmt.IsReadOnly() || stmt.ColumnCount() == 0) {
      *error = QStringLiteral("it is no SELECT statement");
      return false;
    }
    const int rc = stmt.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
      *error = Message();
      return false;
    }
    return true;
  }

 private:
  SqliteDatabase db_;
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
    SqliteStatement insert = writer_.Prepare(plan.insert, &error);
    qint64 rows = 0;
    bool read = insert.valid();
    if (read) {
      read = file_.ForEachRow(name, [&](const std::vector<AccessValue>& row) {
        for (size_t i = 0; i < plan.columns.size(); ++i) {
          const AccessValue& value = row[plan.columns[i]];
          if (def->columns[plan.columns[i]].type == AccessType::kDateTime &&
              value.kind == AccessValue::Kind::kReal)
            ++report_.datesKeptAsNumbers;
          Bind(insert, static_cast<int>(i) + 1, value);
        }
        const int rc = insert.Step();
        insert.Reset();
        if (rc != SQLITE_DONE) {
          error = QStringLiteral("row %1: %2").arg(rows + 1).arg(writer_.Message());
          return false;
        }
        ++rows;
        return true;
      });
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
        if (writer_.HoldsMoreThanOneStatement(it->sql)) {
          // A saved query is one SELECT; a text with more was made to run something else.
          Skip(QStringLiteral("query"), it->name,
               QStringLiteral("its SQL holds more than one statement: %1").arg(it->jetSql));
          it = pending.erase(it);
        } else if (TryView(*it)) {
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

// Creates the empty database file, readable by no one the Access file keeps out, before a
// byte of its data is written (the umask may take more away). Tables added to a database
// that is already there would mix with what it holds, so it must be new.
bool CreateTarget(const QString& source, const QString& target, QString* error) {
  struct stat status {};
  const mode_t shared = ::stat(QFile::encodeName(source).constData(), &status) == 0
                            ? status.st_mode & kSharedBits
                            : 0;
  const int fd = ::open(QFile::encodeName(target).constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerBits | shared);
  if (fd < 0) {
    *error = errno == EEXIST ? QStringLiteral("it exists already.")
                             : QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  ::close(fd);
  return true;
}

}  // namespace

AccessImportResult ConvertAccessFile(const QString& source, const QString& target,
                                     const JetSqlTranslator& translate) {
  AccessImportResult result;
  result.report.source = source;
  QString error;
  const std::unique_ptr<AccessFile> file = AccessFile::Open(source, &error);
  if (!file) {
    result.error = error;
    return result;
  }
  result.report.format = file->formatName();
  if (!CreateTarget(source, target, &error)) {
    result.error = QStringLiteral("%1 could not be written: %2").arg(target, error);
    return result;
  }
  try {
    Writer writer(target);
    Importer(*file, writer, result.report, translate).Run();
  } catch (const SqliteFailure& failure) {
    result.error = QStringLiteral("%1 could not be written: %2").arg(target, failure.message);
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace corvane
