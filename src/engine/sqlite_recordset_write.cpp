// The statements that edit, add and delete the records of a set.
#include <QSet>

#include "engine/connection.h"
#include "engine/engine_error.h"
#include "engine/field_values.h"
#include "engine/sqlite_recordset.h"

namespace corvane {

namespace {

// Runs one write inside a savepoint and keeps it only when exactly one row changed.
class SingleRowWrite {
 public:
  explicit SingleRowWrite(Connection& c) : c_(c) {
    c_.Execute(QStringLiteral("SAVEPOINT corvane_write"));
  }
  ~SingleRowWrite() {
    if (!done_) Undo();
  }
  // Steps the statement; returns the number of rows it changed (kept only when 1).
  int Run(Statement& stmt) {
    stmt.Step();
    const int changed = sqlite3_changes(c_.handle());
    if (changed == 1) {
      c_.Execute(QStringLiteral("RELEASE corvane_write"));
      done_ = true;
    }
    return changed;
  }

 private:
  void Undo() {
    try {
      c_.Execute(QStringLiteral("ROLLBACK TO corvane_write"));
      c_.Execute(QStringLiteral("RELEASE corvane_write"));
    } catch (const EngineError&) {
    }
  }
  Connection& c_;
  bool done_ = false;
};

EngineError TooManyRows(int changed) {
  return EngineError(engine_error::kGeneric,
                     QStringLiteral("The change was refused: it would have changed %1 "
                                    "records instead of one.")
                         .arg(changed));
}

}  // namespace

bool SqliteRecordset::WriteEdit(const std::vector<ColumnValue>& changes) {
  QStringList sets;
  int p = 0;
  for (const ColumnValue& c : changes) {
    sets << QStringLiteral("%1 = ?%2")
                .arg(QuoteName(fields_[c.field].sourceField), QString::number(++p));
  }
  const int keyParam = ++p;
  QStringList same;
  for (int i = 0; i < FieldCount(); ++i) {
    same
        << QStringLiteral("%1 IS ?%2").arg(QuoteName(fields_[i].sourceField), QString::number(++p));
  }
  Statement stmt = connection_->Prepare(
      QStringLiteral("UPDATE %1 SET %2 WHERE %3 AND %4")
          .arg(QuoteName(source_.table), sets.join(QStringLiteral(", ")),
               source_.KeyWhere(keyParam), same.join(QStringLiteral(" AND "))));
  p = 0;
  for (const ColumnValue& c : changes) stmt.Bind(++p, c.value);
  stmt.Bind(++p, Variant(keys_[position_]));
  for (int i = 0; i < FieldCount(); ++i) stmt.BindValue(++p, original_[i]);

  SingleRowWrite write(*connection_);
  const int changed = write.Run(stmt);
  if (changed > 1) throw TooManyRows(changed);
  if (changed == 0) return false;
  StoreKeyValues(false);
  return true;
}

bool SqliteRecordset::CurrentRowExists() {
  Statement exists = connection_->Prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2")
                                              .arg(QuoteName(source_.table), source_.KeyWhere(1)));
  exists.Bind(1, Variant(keys_[position_]));
  return exists.Step();
}

void SqliteRecordset::WriteNew(const std::vector<ColumnValue>& values) {
  const QString table = QuoteName(source_.table);
  QStringList columns, placeholders;
  QSet<QString> assigned;
  for (const ColumnValue& v : values) {
    assigned.insert(fields_[v.field].sourceField.toLower());
    columns << QuoteName(fields_[v.field].sourceField);
    placeholders << QStringLiteral("?%1").arg(placeholders.size() + 1);
  }
  // A COUNTER column that SQLite does not number itself takes the next free number.
  for (int i = 0; i < FieldCount(); ++i) {
    const QString column = fields_[i].sourceField.toLower();
    if (!fields_[i].autoNumber() || assigned.contains(column)) continue;
    if (!source_.keyName.isEmpty() &&
        QuoteName(fields_[i].sourceField).compare(source_.keyName, Qt::CaseInsensitive) == 0)
      continue;
    assigned.insert(column);
    columns << QuoteName(fields_[i].sourceField);
    placeholders << QStringLiteral("(SELECT ifnull(max(%1), 0) + 1 FROM %2)")
                        .arg(QuoteName(fields_[i].sourceField), table);
  }
  const QString sql = columns.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                                        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                              .arg(table, columns.join(QStringLiteral(", ")),
                                                   placeholders.join(QStringLiteral(", ")));
  Statement stmt = connection_->Prepare(sql);
  int p = 0;
  for (const ColumnValue& v : values) stmt.Bind(++p, v.value);
  SingleRowWrite write(*connection_);
  const int changed = write.Run(stmt);
  if (changed != 1) throw TooManyRows(changed);
  if (source_.keyTable.isEmpty()) {
    keys_.push_back(sqlite3_last_insert_rowid(connection_->handle()));
  } else {
    StoreKeyValues(true);
  }
}

void SqliteRecordset::StoreKeyValues(bool isNew) {
  if (source_.keyTable.isEmpty()) return;
  std::vector<Variant> values;
  bool changed = isNew;
  for (const QString& column : source_.keyColumns) {
    Variant value = Variant::Null();
    for (int i = 0; i < FieldCount(); ++i) {
      if (fields_[i].sourceField.compare(column, Qt::CaseInsensitive) != 0) continue;
      if (dirty_[i]) {
        value = StoredValue(fields_[i], buffer_[i]);
        changed = true;
      } else if (!isNew) {
        value = VariantFromValue(original_[i]);
      }
    }
    values.push_back(value);
  }
  if (!changed) return;
  QStringList columns, params, assignments;
  for (int k = 0; k < static_cast<int>(values.size()); ++k) {
    columns << QStringLiteral("corvane_pk%1").arg(k + 1);
    params << QStringLiteral("?%1").arg(k + 1);
    assignments << columns.last() + QStringLiteral(" = ") + params.last();
  }
  const QString table = QStringLiteral("temp.") + QuoteName(source_.keyTable);
  Statement stmt =
      isNew ? connection_->Prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                       .arg(table, columns.join(QStringLiteral(", ")),
                                            params.join(QStringLiteral(", "))))
            : connection_->Prepare(QStringLiteral("UPDATE %1 SET %2 WHERE corvane_key = ?%3")
                                       .arg(table, assignments.join(QStringLiteral(", ")),
                                            QString::number(values.size() + 1)));
  int p = 0;
  for (const Variant& v : values) stmt.Bind(++p, v);
  if (!isNew) stmt.Bind(++p, Variant(keys_[position_]));
  stmt.Step();
  if (isNew) keys_.push_back(sqlite3_last_insert_rowid(connection_->handle()));
}

bool SqliteRecordset::DeleteCurrent() {
  Statement stmt = connection_->Prepare(
      QStringLiteral("DELETE FROM %1 WHERE %2").arg(QuoteName(source_.table), source_.KeyWhere(1)));
  stmt.Bind(1, Variant(keys_[position_]));
  SingleRowWrite write(*connection_);
  const int changed = write.Run(stmt);
  if (changed > 1) throw TooManyRows(changed);
  if (changed == 0) return false;
  keys_.erase(keys_.begin() + position_);
  return true;
}

}  // namespace corvane
