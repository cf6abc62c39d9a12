#include "core/activity/activity_row.h"

namespace corvane {
namespace {

QString WithoutControlCharacters(QString text) {
  for (QChar& c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = QLatin1Char(' ');
  }
  return text;
}

}  // namespace

QStringList ActivityColumnCaptions() {
  return {"Event", "User", "Database", "Table/Query", "Record", "Date", "Time"};
}

const QString& ActivityColumnText(const ActivityRow& row, int column) {
  switch (column) {
    case kUserColumn:
      return row.user;
    case kDatabaseColumn:
      return row.database;
    case kTableQueryColumn:
      return row.table_query;
    case kRecordColumn:
      return row.record;
    case kDateColumn:
      return row.date;
    case kTimeColumn:
      return row.time;
    default:
      return row.event;
  }
}

QString ActivityLineText(const ActivityRow& row) {
  QStringList columns;
  for (int column = 0; column < kActivityColumnCount; ++column) {
    columns.append(WithoutControlCharacters(ActivityColumnText(row, column)));
  }
  return columns.join(QStringLiteral("     "));
}

}  // namespace corvane
