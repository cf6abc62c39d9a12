// Stamps of rows that follow each other quickly: each shows the clock's own second and day.
#include <gtest/gtest.h>

#include <QLocale>
#include <QTemporaryDir>

#include "activity/activity_log.h"
#include "activity/activity_timestamp.h"

namespace corvane::test {
namespace {

TEST(ActivityStampTest, EachRowShowsTheSecondAndDayItWasLoggedIn) {
  QTemporaryDir dir;
  ActivityRowsModel rows;
  ServerSettings settings;
  QDateTime now(QDate(2026, 3, 14), QTime(15, 9, 26, 100));
  ActivityLog log(rows, settings, dir.path(), HostIdentity{"ATLAS", "192.168.1.20"},
                  [&now] { return now; });
  const QLocale locale = QLocale::system();
  auto lastRow = [&] { return rows.Row(rows.rowCount() - 1); };
  ActivityEntry logon;
  logon.code = "Logon";
  ActivityEntry logoff;
  logoff.code = "Logoff";
  auto expectStamp = [&](const QDateTime& when) {
    EXPECT_EQ(lastRow().date, ActivityDateText(when.date(), locale));
    EXPECT_EQ(lastRow().time, ActivityTimeText(when.time(), locale));
  };

  log.LogActivity(logon);
  expectStamp(now);
  now = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26, 900));
  log.LogNote(QStringLiteral("a note"));
  expectStamp(now);
  now = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 27, 0));
  log.LogActivity(logoff);
  expectStamp(now);
  EXPECT_NE(rows.Row(1).time, lastRow().time);
  // The same time of day on the next day.
  now = QDateTime(QDate(2026, 3, 15), QTime(15, 9, 27, 0));
  log.LogActivity(logon);
  expectStamp(now);
  EXPECT_NE(rows.Row(2).date, lastRow().date);
  // Back in time (the clock was set back): still the clock's own second.
  now = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26, 500));
  log.LogActivity(logon);
  expectStamp(now);
}

}  // namespace
}  // namespace corvane::test
