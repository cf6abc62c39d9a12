#include "postgres/pg_recordset.h"

#include <QHash>
#include <QScopeGuard>
#include <QSet>
#include <algorithm>
#include <bit>

#include "engine/field_values.h"
#include "engine/jet_sql.h"
#include "engine/work_limits.h"
#include "postgres/pg_jet_sql.h"
#include "postgres/pg_shared.h"
#include "postgres/pg_types.h"

namespace corvane {

namespace {

QString Placeholder(int n) { return QLatin1Char('$') + QString::number(n); }

// Values joined so that no two lists of values give the same text (Null apart from any
// text).
void AppendIdentity(QByteArray& identity, const PgParam& value) {
  if (!value) {
    identity += '\x01';
    return;
  }
  identity += QByteArray::number(value->size()) + ':' + *value;
}

// The longest text PostgreSQL gives a numeric: 131,072 digits before the point, 16,383 after.
constexpr qint64 kNumericTextBytes = 150'000;

// Whether no row with these fields can be longer than kValueLengthLimitBytes as text, so
// that the check of each row's length on the server (PgRowsWithinLimit) can be left out.
bool RowsShortByType(const std::vector<FieldInfo>& fields) {
  qint64 most = 0;
  for (const FieldInfo& field : fields) {
    switch (field.type) {
      case FieldType::kText:
        most += 8 * qint64{field.size} + 2;  // 4 bytes a character, quotes doubled
        break;
      case FieldType::kDouble:  // any numeric
        most += kNumericTextBytes;
        break;
      case FieldType::kMemo:
      case FieldType::kBinary:
      case FieldType::kLongBinary:
        return false;
      default:
        most += 64;
    }
  }
  return 2 * most <= kValueLengthLimitBytes;  // the key columns are read twice
}

}  // namespace

PgRecordset::PgRecordset(std::shared_ptr<PgShared> shared, PgConnection& connection, QString name,
                         PgSetSource source, std::vector<FieldInfo> fields)
    : Recordset(std::move(name), std::move(fields)),
      shared_(std::move(shared)),
      opening_(&connection),
      source_(std::move(source)) {
  rowsShort_ = RowsShortByType(fields_);
  QStringList quoted;
  for (const QString& c : source_.columns) quoted << PgQuoteName(c);
  selectList_ = quoted.join(QStringLiteral(", "));
  const QString table = PgQuoteName(source_.table);
  if (source_.keys) {
    keys_ = *source_.keys;
    source_.keys.reset();
  } else if (Updatable()) {
    const QString order = KeyList();
    const bool wholeTable = source_.query.sql.isEmpty();
    // Counted before reading, as for records read ahead.
    auto opened = std::make_shared<PgOpenedTable>();
    opened->saves = shared_->pool->Saves(source_.table);
    opened->readAt = std::chrono::steady_clock::now();
    // A query's rows are the table's, in the query's order: only its key columns are read.
    const PgResult result =
        wholeTable
            ? connection.Exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY %1").arg(order, table))
            : connection.ExecConfined(QStringLiteral("SELECT %1 FROM (%2\n) AS corvane_q")
                                          .arg(order, source_.query.sql),
                                      source_.query.params);
    keys_ = PgKeyset(KeyWidth(), result.ColumnType(0));
    keys_.Reserve(result.Rows());
    const std::vector<int> at = LeadingColumns();
    for (int r = 0; r < result.Rows(); ++r) keys_.Append(result, r, at);
    if (wholeTable) keys_.MarkOrdered();
    if (wholeTable && shared_->pool->FreshMs() > 0) {
      opened->source = source_;
      opened->source.keys = std::make_shared<const PgKeyset>(keys_);
      opened->fields = fields_;
      shared_->pool->KeepOpened(std::move(opened));
    }
  } else if (source_.rows) {
    rows_ = std::move(source_.rows);
  } else {
    // A view runs whatever its statement calls: read as a client's query is.
    rows_ = std::make_shared<const PgResult>(connection.ExecConfined(
        PgRowsWithinLimit(QStringLiteral("SELECT %1 FROM %2").arg(selectList_, table)), {}));
  }
  if (KeyCount() > 0) GoTo(0);
  opening_ = nullptr;
  // Only a set that opened is closed with its database.
  shared_->sets.push_back(this);
}

PgRecordset::~PgRecordset() { Close(); }

void PgRecordset::Close() {
  if (!MarkClosed()) return;
  original_.clear();
  ahead_.rows.clear();
  keys_.Clear();
  rows_.reset();
  std::erase(shared_->sets, this);
}

PgRecordset::StepConnection PgRecordset::Connect() {
  if (opening_) return {std::nullopt, opening_};
  PgPool::Lease lease = shared_->Borrow();
  PgConnection* connection = &*lease;
  return {std::move(lease), connection};
}

template <typename Read>
auto PgRecordset::Reading(Read&& read) {
  if (opening_) return read(*opening_);
  return shared_->Reading(read);
}

int64_t PgRecordset::KeyCount() const {
  if (!Updatable()) return rows_ ? rows_->Rows() : 0;
  return keys_.Count();
}

QString PgRecordset::KeyCondition(int firstParameter) const {
  QStringList parts;
  for (int k = 0; k < KeyWidth(); ++k) {
    parts << PgQuoteName(source_.keyColumns[k]) + QStringLiteral(" = ") +
                 Placeholder(firstParameter + k);
  }
  return parts.join(QStringLiteral(" AND "));
}

QString PgRecordset::KeyList() const {
  QStringList key;
  for (const QString& c : source_.keyColumns) key << PgQuoteName(c);
  return key.join(QStringLiteral(", "));
}

std::vector<int> PgRecordset::LeadingColumns() const {
  std::vector<int> at(KeyWidth());
  for (int k = 0; k < KeyWidth(); ++k) at[k] = k;
  return at;
}

void PgRecordset::AppendKey(std::vector<PgParam>& params, int64_t position) const {
  for (int k = 0; k < KeyWidth(); ++k) params.emplace_back(keys_.Value(position, k));
}

void PgRecordset::ShowRow(const std::vector<PgParam>& row) {
  original_ = row;
  ShowOriginal();
}

void PgRecordset::ShowOriginal() {
  values_.clear();
  values_.reserve(fields_.size());
  for (int i = 0; i < FieldCount(); ++i) {
    values_.push_back(ShownValue(fields_[i], PgValue(fields_[i].type, original_[i])));
  }
}

void PgRecordset::FetchCurrent() {
  original_.clear();
  values_.clear();
  missing_ = false;
  if (!Updatable()) return ShowRow(rows_->Row(static_cast<int>(position_)));
  const bool backward = position_ < lastFetched_;
  lastFetched_ = position_;
  if (!ReadAheadServes(position_)) ReadAround(position_, backward);
  ++ahead_.served;
  const std::optional<std::vector<PgParam>>& row = ahead_.rows[position_ - ahead_.first];
  if (!row) {
    missing_ = true;
    return;
  }
  ShowRow(*row);
}

bool PgRecordset::ReadAheadServes(int64_t position) const {
  return position >= ahead_.first &&
         position < ahead_.first + static_cast<int64_t>(ahead_.rows.size()) &&
         shared_->pool->StillFresh(source_.table, ahead_.readAt, ahead_.saves);
}

void PgRecordset::ReadAround(int64_t position, bool backward) {
  const bool aged = position >= ahead_.first &&
                    position < ahead_.first + static_cast<int64_t>(ahead_.rows.size());
  const int64_t used = ahead_.served;
  if (aged) {
    readAheadSize_ = static_cast<int64_t>(
        std::bit_ceil(static_cast<uint64_t>(std::clamp<int64_t>(used, 1, kReadAheadRecords))));
  } else if (used >= readAheadSize_) {
    readAheadSize_ = std::min<int64_t>(2 * readAheadSize_, kReadAheadRecords);
  }
  ahead_.rows.clear();
  ahead_.served = 0;
  // The connection lent for the open is not risked on a batch: one refused as too big can
  // leave it unusable, and the open has no other.
  const int64_t count =
      shared_->pool->FreshMs() > 0 && !oneByOne_ && !opening_ ? readAheadSize_ : 1;
  int64_t first = backward ? position + 1 - count : position;
  first = std::max<int64_t>(0, std::min(first, KeyCount() - count));
  if (count > 1) {
    try {
      ReadByKeys(first, count);
      qint64 bytes = 0;
      for (const auto& row : ahead_.rows) {
        if (!row) continue;
        for (const PgParam& value : *row) bytes += value ? value->size() : 0;
      }
      if (bytes <= kReadAheadMostBytes) return;
    } catch (const EngineError& error) {
      // A record too big for a client is refused when it is the one moved to, as before.
      if (!PgTooBig(error)) throw;
    }
    oneByOne_ = true;
    first = position;
  }
  ReadByKeys(first, 1);
}

void PgRecordset::ReadByKeys(int64_t first, int64_t count) {
  ahead_.rows.clear();
  // One statement for every batch of a size: a short one repeats its last key.
  QStringList keys;
  for (int i = 0; i < count; ++i) {
    QStringList key;
    for (int k = 0; k < KeyWidth(); ++k) key << Placeholder(i * KeyWidth() + k + 1);
    keys << QLatin1Char('(') + key.join(QStringLiteral(", ")) + QLatin1Char(')');
  }
  QString select =
      QStringLiteral("SELECT %1, %2 FROM %3 WHERE (%1) IN (%4)")
          .arg(KeyList(), selectList_, PgQuoteName(source_.table), keys.join(QStringLiteral(", ")));
  // The check costs PostgreSQL a text of each row, a third of a batch's time.
  if (!rowsShort_) select = PgRowsWithinLimit(select);
  const int64_t end = std::min(KeyCount(), first + count);
  std::vector<PgParam> params;
  for (int64_t i = first; i < end; ++i) AppendKey(params, i);
  while (static_cast<int64_t>(params.size()) < count * KeyWidth()) AppendKey(params, end - 1);
  // Counted before reading: a save while the statement runs makes the records old at once.
  const uint64_t saves = shared_->pool->Saves(source_.table);
  const auto readAt = std::chrono::steady_clock::now();
  const PgResult result =
      Reading([&](PgConnection& connection) { return connection.ExecPrepared(select, params); });
  QHash<QByteArray, int> found;
  for (int r = 0; r < result.Rows(); ++r) {
    QByteArray identity;
    for (int k = 0; k < KeyWidth(); ++k) AppendIdentity(identity, result.Param(r, k));
    found.insert(identity, r);
  }
  ahead_.rows.reserve(static_cast<size_t>(end - first));
  for (int64_t i = first; i < end; ++i) {
    const auto at = found.constFind(Identity(i));
    if (at == found.constEnd()) {
      ahead_.rows.emplace_back();
      continue;
    }
    std::vector<PgParam> row;
    for (int c = KeyWidth(); c < result.Columns(); ++c) row.push_back(result.Param(*at, c));
    ahead_.rows.emplace_back(std::move(row));
  }
  ahead_.first = first;
  ahead_.readAt = readAt;
  ahead_.saves = saves;
}

void PgRecordset::CountSave() {
  shared_->pool->CountSave(source_.table);
  ahead_.rows.clear();
}

bool PgRecordset::WriteEdit(const std::vector<ColumnValue>& changes) {
  std::vector<PgParam> params;
  QStringList sets, same;
  for (const ColumnValue& c : changes) {
    params.push_back(PgText(fields_[c.field].type, c.value));
    sets << PgQuoteName(fields_[c.field].sourceField) + QStringLiteral(" = ") +
                Placeholder(static_cast<int>(params.size()));
  }
  const QString keyCondition = KeyCondition(static_cast<int>(params.size()) + 1);
  AppendKey(params, position_);
  for (int i = 0; i < FieldCount(); ++i) {
    params.push_back(original_[i]);
    same << PgQuoteName(fields_[i].sourceField) + QStringLiteral(" IS NOT DISTINCT FROM ") +
                Placeholder(static_cast<int>(params.size()));
  }
  StepConnection connection = Connect();
  // Saved, refused because the record read is old, or not known: whatever came of it, the
  // records read ahead of this table are read again, by every set of this server.
  const auto counted = qScopeGuard([this] { CountSave(); });
  // The saved record comes back with the statement: its key (which the edit may have
  // changed) and the values shown next.
  const PgResult result = connection->ExecPrepared(
      QStringLiteral("UPDATE %1 SET %2 WHERE %3 AND %4 RETURNING %5, %6")
          .arg(PgQuoteName(source_.table), sets.join(QStringLiteral(", ")), keyCondition,
               same.join(QStringLiteral(" AND ")), KeyList(), selectList_),
      params);
  if (result.Rows() == 0) return false;
  keys_.Replace(position_, result, 0, LeadingColumns());
  original_.clear();
  for (int c = KeyWidth(); c < result.Columns(); ++c) original_.push_back(result.Param(0, c));
  return true;
}

bool PgRecordset::CurrentRowExists() {
  std::vector<PgParam> params;
  AppendKey(params, position_);
  const QString select =
      QStringLiteral("SELECT 1 FROM %1 WHERE %2").arg(PgQuoteName(source_.table), KeyCondition(1));
  return Reading([&](PgConnection& connection) { return connection.Exec(select, params); }).Rows() >
         0;
}

void PgRecordset::ShowSaved() {
  missing_ = false;
  ShowOriginal();
}

void PgRecordset::WriteNew(const std::vector<ColumnValue>& values) {
  QStringList columns, placeholders;
  std::vector<PgParam> params;
  for (const ColumnValue& v : values) {
    // Identity and serial columns number themselves.
    if (fields_[v.field].autoNumber()) continue;
    params.push_back(PgText(fields_[v.field].type, v.value));
    columns << PgQuoteName(fields_[v.field].sourceField);
    placeholders << Placeholder(static_cast<int>(params.size()));
  }
  const QString table = PgQuoteName(source_.table);
  const QString insert = columns.isEmpty()
                             ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                             : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(table, columns.join(QStringLiteral(", ")),
                                        placeholders.join(QStringLiteral(", ")));
  StepConnection connection = Connect();
  const auto counted = qScopeGuard([this] { CountSave(); });
  const PgResult result =
      connection->Exec(insert + QStringLiteral(" RETURNING ") + KeyList(), params);
  keys_.Append(result, 0, LeadingColumns());
}

bool PgRecordset::DeleteCurrent() {
  std::vector<PgParam> params;
  AppendKey(params, position_);
  StepConnection connection = Connect();
  const auto counted = qScopeGuard([this] { CountSave(); });
  const PgResult result = connection->Exec(
      QStringLiteral("DELETE FROM %1 WHERE %2").arg(PgQuoteName(source_.table), KeyCondition(1)),
      params);
  if (result.Affected() == 0) return false;
  keys_.Erase(position_);
  return true;
}

QByteArray PgRecordset::Identity(int64_t position) const {
  QByteArray identity;
  if (Updatable()) {
    for (int k = 0; k < KeyWidth(); ++k) AppendIdentity(identity, keys_.Value(position, k));
  } else {
    for (int c = 0; c < rows_->Columns(); ++c) {
      AppendIdentity(identity, rows_->Param(static_cast<int>(position), c));
    }
  }
  return identity;
}

bool PgRecordset::FindInKeyOrder(const QString& condition, std::vector<PgParam> params,
                                 int64_t from) {
  const QString keys = KeyList();
  QString select = QStringLiteral("SELECT %1 FROM %2 WHERE (%3\n)")
                       .arg(keys, PgQuoteName(source_.table), condition);
  if (from > 0 && from < KeyCount()) {
    QStringList at;
    for (int k = 0; k < KeyWidth(); ++k) at << Placeholder(static_cast<int>(params.size()) + 1 + k);
    select += QStringLiteral(" AND (%1) >= (%2)").arg(keys, at.join(QStringLiteral(", ")));
    AppendKey(params, from);
  }
  select += QStringLiteral(" ORDER BY %1 LIMIT 1").arg(keys);
  const PgResult result =
      Reading([&](PgConnection& connection) { return connection.ExecConfined(select, params); });
  noMatch_ = true;
  if (result.Rows() == 0 || from >= KeyCount()) return true;
  const int64_t at = keys_.Locate(result, 0, from);
  if (at < 0) return false;
  noMatch_ = false;
  GoTo(at);
  return true;
}

void PgRecordset::Find(const QString& criterion, int64_t from) {
  CheckClientJetSqlLength(criterion);
  // The criterion names the set's fields; its values travel as parameters after the query's.
  JetPgTarget target = FieldNames(fields_, source_.table).Target();
  target.params = source_.query.params;
  const QString condition = TranslateJetSqlForPostgres(criterion, target);
  if (Updatable() && keys_.Ordered() && FindInKeyOrder(condition, target.params, from)) return;
  QString read;
  if (Updatable()) {
    read = KeyList() + QStringLiteral(" FROM ") + PgQuoteName(source_.table);
  } else if (!source_.query.sql.isEmpty()) {
    read = QStringLiteral("* FROM (%1\n) AS corvane_q").arg(source_.query.sql);
  } else {
    read = selectList_ + QStringLiteral(" FROM ") + PgQuoteName(source_.table);
  }
  // The matches, whole: a snapshot's rows are told apart by their values only.
  QString select = QStringLiteral("SELECT %1 WHERE (%2\n)").arg(read, condition);
  if (!Updatable()) select = PgRowsWithinLimit(select);
  const PgResult result = Reading(
      [&](PgConnection& connection) { return connection.ExecConfined(select, target.params); });
  // Keys of numbers are looked up as numbers, with no text made for each key walked.
  if (const std::optional<int64_t> at =
          Updatable() ? keys_.FirstOfNumbers(result, from) : std::nullopt) {
    noMatch_ = *at < 0;
    if (!noMatch_) GoTo(*at);
    return;
  }
  QSet<QByteArray> matches;
  for (int r = 0; r < result.Rows(); ++r) {
    QByteArray identity;
    for (int c = 0; c < result.Columns(); ++c) AppendIdentity(identity, result.Param(r, c));
    matches.insert(identity);
  }
  noMatch_ = true;
  if (matches.isEmpty()) return;
  for (int64_t i = std::max<int64_t>(from, 0); i < KeyCount(); ++i) {
    if (matches.contains(Identity(i))) {
      noMatch_ = false;
      GoTo(i);
      return;
    }
  }
}

}  // namespace corvane
