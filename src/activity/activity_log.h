#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <functional>

class QFile;

#include "activity/activity_note_sink.h"
#include "activity/activity_reporter.h"
#include "activity/activity_row.h"
#include "activity/activity_rows_model.h"
#include "activity/host_identity.h"
#include "activity/slot_activity_source.h"
#include "base/server_settings.h"

namespace corvane {

// Turns each reported event into a row of the activity list and, while KeepLogFile is 1,
// a line of "CorvaneDB.log" in the program's directory. Reporting never fails: a slot
// fact that cannot be read leaves its column empty, and a log file that cannot be
// written is skipped.
class ActivityLog : public ActivityReporter, public ActivityNoteSink {
 public:
  using Clock = std::function<QDateTime()>;

  // `settings` is read at every event, so a changed "Keep Log File" applies at once.
  // Without a clock the local time is used.
  ActivityLog(SlotActivitySource& source, ActivityRowsModel& rows, const ServerSettings& settings,
              QString program_directory, HostIdentity host, Clock clock = {});

  // `slot` is a count for "SetupRun" and unused for "ServerStart" and "ServerShutdown".
  void LogActivity(int slot, const QByteArray& code) override;

  // A free-text row: the note in the "Event" column, the slot's user (when the slot number
  // names one), and the date and time.
  void LogNote(int slot, const QString& text) override;

  QString LogFilePath() const;
  // Empties the log file, creating it when missing. False when that fails.
  bool ClearLogFile();

 private:
  ActivityRow BuildRow(int slot, const QByteArray& code);
  void AppendToLogFile(const ActivityRow& row);
  void AddRow(const ActivityRow& row);
  void Stamp(ActivityRow& row);
  void KeepPrivate(QFile& file);

  SlotActivitySource& source_;
  ActivityRowsModel& rows_;
  const ServerSettings& settings_;
  QString program_directory_;
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
