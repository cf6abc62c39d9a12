#include "access/import_writer.h"

#include <QHash>
#include <QSet>

#include "access/saved_query_sql.h"

namespace corvane {

namespace {

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
  Importer(const AccessFile& file, ImportWriter& writer, AccessImportReport& report)
      : file_(file), writer_(writer), report_(report) {}

  void Run() {
    writer_.Begin();
    for (const QString& table : file_.UserTables()) ImportTable(table);
    const Catalogue catalogue = ReadObjects(file_);
    for (const AccessImportReport::Skipped& link : catalogue.linked)
      report_.skipped.push_back(link);
    ImportQueries(catalogue.queries);
    writer_.Commit();
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
    if (const QString reserved = writer_.ReservedNameReason(name); !reserved.isEmpty())
      return Skip(QStringLiteral("table"), name, reserved);
    AccessTablePlan plan = PlanTable(*def, indexNames_, writer_.dialect());
    writer_.BeginTable();
    if (const QString refused = writer_.TryExecute(plan.createTable); !refused.isEmpty()) {
      writer_.EndTable(name, false);
      return Skip(QStringLiteral("table"), name, refused);
    }
    QString error;
    const std::unique_ptr<ImportRowWriter> insert = writer_.PrepareInsert(*def, plan, &error);
    qint64 rows = 0;
    qint64 numberDates = 0;
    bool read = insert != nullptr;
    if (read) {
      read = file_.ForEachRow(name, [&](const std::vector<AccessValue>& row) {
        if (!insert->Write(row, &error)) return false;
        for (int column : plan.columns) {
          if (def->columns[column].type == AccessType::kDateTime &&
              row[column].kind == AccessValue::Kind::kReal)
            ++numberDates;
        }
        ++rows;
        return true;
      });
    }
    if (read && error.isEmpty()) insert->Finish(&error);
    for (qsizetype i = 0; read && error.isEmpty() && i < plan.afterRows.size(); ++i)
      error = writer_.TryExecute(plan.afterRows[i]);
    if (!read || !error.isEmpty()) {
      writer_.EndTable(name, false);
      return Skip(QStringLiteral("table"), name,
                  error.isEmpty() ? QStringLiteral("its rows cannot be read") : error);
    }
    report_.datesKeptAsNumbers += numberDates;
    for (qsizetype i = 0; i < plan.createIndexes.size(); ++i) {
      if (const QString refused = writer_.TryExecute(plan.createIndexes[i]); !refused.isEmpty())
        Skip(QStringLiteral("index"), name + QLatin1Char('.') + plan.indexNames[i], refused);
    }
    writer_.EndTable(name, true);
    usedNames_.insert(name.toLower());
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
      const std::optional<QString> sql = writer_.Translate(select.sql);
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
    query.error = writer_.TryExecute(QStringLiteral("CREATE VIEW %1 AS %2").arg(view, query.sql));
    if (!query.error.isEmpty()) return false;
    if (!writer_.Opens(QStringLiteral("SELECT * FROM %1").arg(view), &query.error)) {
      if (const QString kept = writer_.TryExecute(QStringLiteral("DROP VIEW %1").arg(view));
          !kept.isEmpty())
        throw ImportWriteFailure(kept);
      return false;
    }
    usedNames_.insert(query.name.toLower());
    return true;
  }

  const AccessFile& file_;
  ImportWriter& writer_;
  AccessImportReport& report_;
  QSet<QString> usedNames_;
  QStringList indexNames_;
};

}  // namespace

void ImportIntoWriter(const AccessFile& file, ImportWriter& writer, AccessImportReport& report) {
  Importer(file, writer, report).Run();
}

}  // namespace corvane
