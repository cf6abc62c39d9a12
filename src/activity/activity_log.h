#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <functional>

class QFile;

#include "activity/activity_reporter.h"
#include "activity/activity_row.h"
#include "activity/activity_rows_model.h"
#include "activity/host_identity.h"
#include "base/server_settings.h"

namespace corvane {

// Turns each reported event into a row of the activity list and, while KeepLogFile is 1,
// a line of "CorvaneDB.log" in the program's directory. Reporting never fails: a slot
// fact that cannot be read leaves its column empty, and a log file that cannot be
// written is skipped.
class ActivityLog : public ActivityReporter {
 public:
  using Clock = std::function<QDateTime()>;

  // `settings` is read at every event, so a changed "Keep Log File" applies at once.
  // Without a clock the local time is used.
  ActivityLog(ActivityRowsModel& rows, const ServerSettings& settings, QString programDir,
              HostIdentity host, Clock clock = {});

  void LogActivity(const ActivityEntry& entry) override;
  // A free-text row: the note, the user it concerns, and the date and time.
  void LogNote(const QString& text, const QString& user = {}) override;
  // An event of the server itself: "ServerStart", "ServerShutdown", or "SetupRun" with the
  // number of users the setup disconnected.
  void LogServerEvent(const QByteArray& code, int count = 0);

  QString LogFilePath() const;
  // Empties the log file, creating it when missing. False when that fails.
  bool ClearLogFile();

 private:
  ActivityRow BuildRow(const ActivityEntry& entry);
  void AppendToLogFile(const ActivityRow& row);
  void AddRow(const ActivityRow& row);
  void Stamp(ActivityRow& row);
  void KeepPrivate(QFile& file);

  ActivityRowsModel& rows_;
  const ServerSettings& settings_;
  QString programDir_;
  HostIdentity host_;
  Clock clock_;
  bool logModeChecked_ = false;
  // The texts of the last stamp: rows come in bursts, many within one second.
  QDate stampDate_;
  QTime stampSecond_;
  QLocale stampLocale_;
  QString stampDateText_;
  QString stampTimeText_;
};

}  // namespace corvane
