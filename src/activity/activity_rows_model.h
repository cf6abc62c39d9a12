#pragma once

#include <QAbstractTableModel>
#include <deque>
#include <vector>

#include "activity/activity_row.h"

namespace corvane {

// The "Current Activity" list: every reported event, oldest first, without limit unless a
// limit is set.
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
  // Rows taken in a batch (the desktop's list, a few times a second): one insertion for
  // all of them, and no RowAppended.
  void AppendRows(std::vector<ActivityRow> rows);
  // The "Clear Activity" command: removes every row but the first (normally
  // "Server Started").
  void ClearActivity();
  // Keeps the first row and at most the newest `limit` - 1 after it: when there are more,
  // the oldest go until nine tenths of the limit are left. 0 keeps every row. The headless
  // mode prints each row as it comes and has no list to show, so it keeps only a few.
  void SetRowLimit(int limit);

 Q_SIGNALS:
  // After each appended row; a view scrolls it into view, the headless mode prints it.
  void RowAppended(const corvane::ActivityRow& row);

 private:
  void DropRowsOverLimit();
  // The rows left once the oldest go: nine tenths of the limit.
  int KeptRows() const;
  // Removes the oldest rows after the first until `keep` are left.
  void DropOldest(int keep);

  std::deque<ActivityRow> rows_;
  int limit_ = 0;
};

}  // namespace corvane
