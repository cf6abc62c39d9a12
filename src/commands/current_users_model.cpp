#include "commands/current_users_model.h"

namespace corvane {

int CurrentUsersModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CurrentUsersModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant CurrentUsersModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const CurrentUserRow& row = rows_[index.row()];
  if (role == SlotRole) return row.slot;
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case 0:
      return row.localPort;
    case 1:
      return row.user;
    case 2:
      return row.remoteAddress;
    case 3:
      return row.database;
    case 4:
      return row.object;
    default:
      return {};
  }
}

QVariant CurrentUsersModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kCaptions[kColumnCount] = {"Local Port", "User", "Remote I.P.",
                                                      "Database", "Table/Query"};
  return section >= 0 && section < kColumnCount ? QString::fromLatin1(kCaptions[section])
                                                : QVariant();
}

void CurrentUsersModel::Clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void CurrentUsersModel::AddRow(const CurrentUserRow& row) {
  const int at = static_cast<int>(rows_.size());
  beginInsertRows({}, at, at);
  rows_.push_back(row);
  endInsertRows();
}

void CurrentUsersModel::SetRows(std::vector<CurrentUserRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

void CurrentUsersModel::RemoveSlot(int slot) {
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    if (rows_[i].slot != slot) continue;
    beginRemoveRows({}, i, i);
    rows_.erase(rows_.begin() + i);
    endRemoveRows();
    return;
  }
}

}  // namespace corvane
