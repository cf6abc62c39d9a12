#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "core/activity/activity_row.h"

namespace corvane {

// The "Current Activity" list: every reported event, oldest first, without limit.
class ActivityRowsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ActivityRowsModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  const ActivityRow& Row(int index) const { return rows_[static_cast<size_t>(index)]; }

  void AppendRow(const ActivityRow& row);
  // The "Clear Activity" command: removes every row but the first (normally
  // "Server Started").
  void ClearActivity();

 Q_SIGNALS:
  // After each appended row; a view scrolls it into view, the headless mode prints it.
  void RowAppended(const corvane::ActivityRow& row);

 private:
  std::vector<ActivityRow> rows_;
};

}  // namespace corvane
