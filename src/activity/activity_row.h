#pragma once

#include <QString>
#include <QStringList>

namespace corvane {

// The columns of one activity row, in display order.
enum ActivityColumn {
  kEventColumn,
  kUserColumn,
  kDatabaseColumn,
  kTableQueryColumn,
  kRecordColumn,
  kDateColumn,
  kTimeColumn,
  kActivityColumnCount
};

// One reported event as the activity list shows it.
struct ActivityRow {
  QString event;
  QString user;
  QString database;
  QString table_query;
  QString record;
  QString date;
  QString time;
  bool operator==(const ActivityRow&) const = default;
};

// "Event", "User", "Database", "Table/Query", "Record", "Date", "Time".
QStringList ActivityColumnCaptions();

const QString& ActivityColumnText(const ActivityRow& row, int column);

// The row as one log-file line, without its line end: the seven columns joined by five
// spaces. Control characters become spaces so that no text (a user name sent by a
// client, an error description) can break the line or forge another one.
QString ActivityLineText(const ActivityRow& row);

}  // namespace corvane
