#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include "users/user_record.h"

namespace corvane {

// The setup dialog's user list, the only in-memory copy of the user store: column 0 is
// the name ("Remote Host"), column 1 the private key ("Private Key").
class UserListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { NameColumn = 0, PrivateKeyColumn = 1, ColumnCount = 2 };
  // The role under which data() gives the password of a row.
  static constexpr int PasswordRole = Qt::UserRole + 1;

  explicit UserListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  int Count() const { return static_cast<int>(users_.size()); }
  const UserRecord& At(int row) const { return users_.at(row); }
  const QList<UserRecord>& Users() const { return users_; }

  // Returns the row of the new item.
  int Append(const UserRecord& user);
  // Replaces the row's record; false for a row that does not exist.
  bool Edit(int row, const UserRecord& user);
  bool Remove(int row);
  void Clear();

 private:
  QList<UserRecord> users_;
};

}  // namespace corvane
