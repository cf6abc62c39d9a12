#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace corvane {

// One row of the "Current Users" list.
struct CurrentUserRow {
  QString localPort;
  QString user;
  QString remoteAddress;
  QString database;
  QString object;
  int slot = -1;  // the row's tag
};

// The "Current Users" list: columns "Local Port", "User", "Remote I.P.", "Database",
// "Table/Query"; the slot number is the row's tag, under SlotRole of column 0.
class CurrentUsersModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int SlotRole = Qt::UserRole + 1;
  static constexpr int kColumnCount = 5;

  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  void Clear();
  void AddRow(const CurrentUserRow& row);
  // Removes the slot's row, if it has one.
  void RemoveSlot(int slot);
  // Replaces every row: the desktop's copy of the list, taken in batches.
  void SetRows(std::vector<CurrentUserRow> rows);
  const std::vector<CurrentUserRow>& Rows() const { return rows_; }

 private:
  std::vector<CurrentUserRow> rows_;
};

}  // namespace corvane
