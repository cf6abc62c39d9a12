#include "activity/activity_row.h"

namespace corvane {
namespace {

// Turned into blanks, so that a client's text cannot start a line of its own in the log.
bool IsControlCharacter(QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; }

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
  // Built in one buffer: this runs for every request the server answers.
  static constexpr QLatin1String kSeparator("     ");
  qsizetype size = kSeparator.size() * (kActivityColumnCount - 1);
  for (int column = 0; column < kActivityColumnCount; ++column) {
    size += ActivityColumnText(row, column).size();
  }
  QString line;
  line.reserve(size);
  for (int column = 0; column < kActivityColumnCount; ++column) {
    if (column > 0) line += kSeparator;
    const qsizetype start = line.size();
    line += ActivityColumnText(row, column);
    for (QChar* c = line.data() + start; c != line.data() + line.size(); ++c) {
      if (IsControlCharacter(*c)) *c = QLatin1Char(' ');
    }
  }
  return line;
}

}  // namespace corvane
