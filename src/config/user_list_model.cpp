#include "config/user_list_model.h"

namespace corvane {

UserListModel::UserListModel(QObject* parent) : QAbstractTableModel(parent) {}

int UserListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

int UserListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant UserListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Count()) return {};
  const UserRecord& user = users_.at(index.row());
  if (role == PasswordRole) return user.password;
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case NameColumn:
      return user.name;
    case PrivateKeyColumn:
      return user.privateKey;
    default:
      return {};
  }
}

QVariant UserListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case NameColumn:
      return QStringLiteral("Remote Host");
    case PrivateKeyColumn:
      return QStringLiteral("Private Key");
    default:
      return {};
  }
}

int UserListModel::Append(const UserRecord& user) {
  const int row = Count();
  beginInsertRows(QModelIndex(), row, row);
  users_.append(user);
  endInsertRows();
  return row;
}

bool UserListModel::Edit(int row, const UserRecord& user) {
  if (row < 0 || row >= Count()) return false;
  users_[row] = user;
  Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
  return true;
}

bool UserListModel::Remove(int row) {
  if (row < 0 || row >= Count()) return false;
  beginRemoveRows(QModelIndex(), row, row);
  users_.removeAt(row);
  endRemoveRows();
  return true;
}

void UserListModel::Clear() {
  if (users_.isEmpty()) return;
  beginResetModel();
  users_.clear();
  endResetModel();
}

}  // namespace corvane
