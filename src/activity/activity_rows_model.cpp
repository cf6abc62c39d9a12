#include "activity/activity_rows_model.h"

#include <algorithm>

namespace corvane {
namespace {

constexpr int kDroppedFraction = 10;

}  // namespace

ActivityRowsModel::ActivityRowsModel(QObject* parent) : QAbstractTableModel(parent) {}

int ActivityRowsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ActivityRowsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kActivityColumnCount;
}

QVariant ActivityRowsModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount() ||
      index.column() >= kActivityColumnCount) {
    return {};
  }
  return ActivityColumnText(Row(index.row()), index.column());
}

QVariant ActivityRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
      section >= kActivityColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  return ActivityColumnCaptions().at(section);
}

void ActivityRowsModel::AppendRow(const ActivityRow& row) {
  const int index = rowCount();
  beginInsertRows(QModelIndex(), index, index);
  rows_.push_back(row);
  endInsertRows();
  Q_EMIT RowAppended(row);
  DropRowsOverLimit();
}

void ActivityRowsModel::AppendRows(std::vector<ActivityRow> rows) {
  if (rows.empty()) return;
  auto from = rows.begin();
  if (limit_ > 0 && !rows_.empty()) {
    // Only what stays is inserted, and room is made for it first: a view never lays out
    // rows that go at once.
    const int keep = KeptRows();
    const int incoming = std::min(static_cast<int>(rows.size()), keep - 1);
    from = rows.end() - incoming;
    if (rowCount() + incoming > limit_) DropOldest(keep - incoming);
  }
  const int index = rowCount();
  beginInsertRows(QModelIndex(), index, index + static_cast<int>(rows.end() - from) - 1);
  rows_.insert(rows_.end(), std::make_move_iterator(from), std::make_move_iterator(rows.end()));
  endInsertRows();
  DropRowsOverLimit();
}

void ActivityRowsModel::SetRowLimit(int limit) {
  limit_ = limit < 0 ? 0 : limit;
  DropRowsOverLimit();
}

void ActivityRowsModel::DropRowsOverLimit() {
  // A tenth of the limit at a time: a view pays for a removal by the rows it still shows,
  // so once per many new rows rather than for each.
  if (limit_ > 0 && rowCount() > limit_) DropOldest(KeptRows());
}

int ActivityRowsModel::KeptRows() const { return std::max(1, limit_ - limit_ / kDroppedFraction); }

void ActivityRowsModel::DropOldest(int keep) {
  // The first row stays, as with "Clear Activity"; the oldest after it go.
  const int excess = rowCount() - std::max(1, keep);
  if (excess <= 0) return;
  beginRemoveRows(QModelIndex(), 1, excess);
  rows_.erase(rows_.begin() + 1, rows_.begin() + 1 + excess);
  endRemoveRows();
}

void ActivityRowsModel::ClearActivity() {
  const int count = rowCount();
  if (count < 2) return;
  beginRemoveRows(QModelIndex(), 1, count - 1);
  rows_.resize(1);
  endRemoveRows();
}

}  // namespace corvane
