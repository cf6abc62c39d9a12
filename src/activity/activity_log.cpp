#include "activity/activity_log.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <limits>
#include <utility>

#include "activity/activity_events.h"
#include "activity/activity_timestamp.h"
#include "base/windows1252.h"

namespace corvane {
namespace {

// The log names who did what; other local users have no business reading it.
constexpr QFileDevice::Permissions kLogFilePermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool KeepsLogFile(const ServerSettings& settings) {
  return settings.KeepLogFile && *settings.KeepLogFile == 1.0;
}

// The local time in whole seconds, which is all a row shows. Turning the system clock into
// local time makes the C library read the zone file, so that happens once a second and not
// once a row.
ActivityLog::Clock WholeSecondClock() {
  return [second = std::numeric_limits<qint64>::min(), now = QDateTime()]() mutable {
    const qint64 current = QDateTime::currentSecsSinceEpoch();
    if (current != second) {
      second = current;
      now = QDateTime::fromSecsSinceEpoch(current);
    }
    return now;
  };
}

}  // namespace

ActivityLog::ActivityLog(ActivityRowsModel& rows, const ServerSettings& settings,
                         QString programDir, HostIdentity host, Clock clock)
    : rows_(rows),
      settings_(settings),
      programDir_(std::move(programDir)),
      host_(std::move(host)),
      clock_(clock ? std::move(clock) : WholeSecondClock()) {}

QString ActivityLog::LogFilePath() const {
  return QDir(programDir_).filePath(QStringLiteral("CorvaneDB.log"));
}

ActivityRow ActivityLog::BuildRow(const ActivityEntry& entry) {
  ActivityRow row;
  const ActivityEvent* event = FindActivityEvent(entry.code);
  if (event == nullptr) return row;  // an unknown code gives a row with every column empty

  row.event = QString::fromLatin1(event->event_text);
  if (event->with_error) {
    row.event += QString::number(entry.errorNumber) + QStringLiteral("  ") + entry.errorText;
  }
  const auto value = [&](ActivityValue kind) -> QString {
    switch (kind) {
      case ActivityValue::kNone:
        return QString();
      case ActivityValue::kHostName:
        return host_.host_name;
      case ActivityValue::kHostAddress:
        return QStringLiteral("IP Address: ") + host_.ip_address;
      case ActivityValue::kUsersDisconnected:
        return QStringLiteral("Users Disconnected:  ") + QString::number(entry.slot);
      case ActivityValue::kUser:
        return entry.user;
      case ActivityValue::kRemoteAddress:
        return QStringLiteral("Remote IP: ") + entry.remoteAddress;
      case ActivityValue::kDatabase:
        return entry.database;
      case ActivityValue::kRecordset:
        return entry.recordset;
      case ActivityValue::kPosition:
      case ActivityValue::kCount:
        return entry.record;
    }
    return QString();
  };
  row.user = value(event->user);
  row.database = value(event->database);
  row.table_query = value(event->table_query);
  row.record = value(event->record);

  // The engine names the queries it keeps for forms and controls "~sq_" plus a kind
  // letter; the rest is the name worth showing. A query the client composed has no name
  // of its own, so the slot's table/query name stands for it.
  if (row.table_query.startsWith(QStringLiteral("~sq_"))) row.table_query.remove(0, 5);
  if (row.table_query == QStringLiteral("#Temporary QueryDef#")) row.table_query = entry.object;

  Stamp(row);
  return row;
}

void ActivityLog::Stamp(ActivityRow& row) {
  // Date and time come from one reading of the clock. The texts show whole seconds, so
  // within one second (and under the same regional settings) they are built once.
  const QDateTime now = clock_();
  const QLocale locale = QLocale::system();
  const QDate date = now.date();
  const QTime time = now.time();
  const QTime second(time.hour(), time.minute(), time.second());
  if (stampDateText_.isNull() || date != stampDate_ || second != stampSecond_ ||
      locale != stampLocale_) {
    stampDate_ = date;
    stampSecond_ = second;
    stampLocale_ = locale;
    stampDateText_ = ActivityDateText(date, locale);
    stampTimeText_ = ActivityTimeText(time, locale);
  }
  row.date = stampDateText_;
  row.time = stampTimeText_;
}

void ActivityLog::LogActivity(const ActivityEntry& entry) {
  try {
    AddRow(BuildRow(entry));
  } catch (...) {
    // Reporting an event must never disturb the work that reported it.
  }
}

void ActivityLog::LogServerEvent(const QByteArray& code, int count) {
  ActivityEntry entry;
  entry.code = code;
  entry.slot = count;
  LogActivity(entry);
}

void ActivityLog::LogNote(const QString& text, const QString& user) {
  try {
    ActivityRow row;
    row.event = text;
    row.user = user;
    Stamp(row);
    AddRow(row);
  } catch (...) {
  }
}

void ActivityLog::AddRow(const ActivityRow& row) {
  rows_.AppendRow(row);
  if (KeepsLogFile(settings_)) AppendToLogFile(row);
}

// Opened by name for each row: a log that was renamed (by logrotate) gets no further row,
// and one deleted by hand is made again with the next row.
void ActivityLog::AppendToLogFile(const ActivityRow& row) {
  QFile file(LogFilePath());
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append, kLogFilePermissions)) return;
  KeepPrivate(file);
  file.write(ToWindows1252(ActivityLineText(row)) + "\r\n");
}

bool ActivityLog::ClearLogFile() {
  QFile file(LogFilePath());
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, kLogFilePermissions)) return false;
  KeepPrivate(file);
  return true;
}

// The mode given at creation does not reach a log file that was already there (made by
// another tool, or copied in); it is narrowed once per run. Later changes are the
// operator's own.
void ActivityLog::KeepPrivate(QFile& file) {
  if (logModeChecked_) return;
  logModeChecked_ = true;
  if (file.permissions() &
      ~(kLogFilePermissions | QFileDevice::ReadUser | QFileDevice::WriteUser)) {
    file.setPermissions(kLogFilePermissions);
  }
}

}  // namespace corvane
