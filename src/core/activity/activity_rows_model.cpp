#include "core/activity/activity_rows_model.h"

namespace corvane {

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
}

void ActivityRowsModel::ClearActivity() {
  const int count = rowCount();
  if (count < 2) return;
  beginRemoveRows(QModelIndex(), 1, count - 1);
  rows_.resize(1);
  endRemoveRows();
}

}  // namespace corvane
