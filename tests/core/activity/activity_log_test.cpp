// The activity log: the rows of the list, the lines of the log file, and the list's limits.
#include "activity/activity_log.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "activity/activity_rows_model.h"
#include "activity/activity_timestamp.h"
#include "base/windows1252.h"
#include "support/file_bytes.h"

namespace corvane::test {
namespace {

// The facts of a slot with a table open, as a command reports them.
ActivityEntry Entry(const QByteArray& code) {
  ActivityEntry entry;
  entry.code = code;
  entry.slot = 3;
  entry.user = "PETE";
  entry.remoteAddress = "10.0.0.7";
  entry.database = "/data/sales.db";
  entry.recordset = "Orders";
  entry.record = "12";
  return entry;
}

class ActivityLogTest : public ::testing::Test {
 protected:
  ActivityRow LastRow() const { return rows_.Row(rows_.rowCount() - 1); }
  QByteArray LogBytes() const { return ReadFileBytes(log_.LogFilePath()); }

  QDateTime now_{QDate(2026, 3, 14), QTime(15, 9, 26, 100)};
  QTemporaryDir dir_;
  ActivityRowsModel rows_;
  ServerSettings settings_;
  ActivityLog log_{rows_, settings_, dir_.path(), HostIdentity{"ATLAS", "192.168.1.20"},
                   [this] { return now_; }};
};

TEST_F(ActivityLogTest, EachRowShowsTheSecondAndDayItWasLoggedIn) {
  const QLocale locale = QLocale::system();
  const auto expectStamp = [&] {
    EXPECT_EQ(LastRow().date, ActivityDateText(now_.date(), locale));
    EXPECT_EQ(LastRow().time, ActivityTimeText(now_.time(), locale));
  };
  log_.LogActivity(Entry("Logon"));
  expectStamp();
  now_ = now_.addMSecs(800);
  // A note shows its own user, not that of the slot logged last.
  log_.LogNote(QStringLiteral("a note"));
  expectStamp();
  EXPECT_EQ(LastRow().user, "");
  now_ = now_.addMSecs(100);
  log_.LogActivity(Entry("Logoff"));
  expectStamp();
  EXPECT_NE(rows_.Row(1).time, LastRow().time);
  now_ = now_.addDays(1);
  log_.LogActivity(Entry("Logoff"));
  expectStamp();
  EXPECT_NE(rows_.Row(2).date, LastRow().date);
  // The clock was set back: still the clock's own second.
  now_ = now_.addDays(-1).addSecs(-5);
  log_.LogServerEvent("ServerStart");
  expectStamp();
  EXPECT_EQ(LastRow().user, "ATLAS");
}

TEST_F(ActivityLogTest, EngineQueryNamesAreShortenedOrReplaced) {
  const std::pair<QString, QString> cases[] = {{"~sq_cCustomers", "Customers"},
                                               {"~sq_x", ""},
                                               {"#Temporary QueryDef#", "Orders"},
                                               {"~sq_c#Temporary QueryDef#", "Orders"},
                                               {"Invoices", "Invoices"}};
  for (const auto& [name, shown] : cases) {
    ActivityEntry entry = Entry("Retrieve");
    entry.object = "Orders";
    entry.recordset = name;
    log_.LogActivity(entry);
    EXPECT_EQ(LastRow().table_query, shown) << name.toStdString();
  }
}

TEST_F(ActivityLogTest, LogFileIsWrittenInTheCodePageOnlyWhileKeepLogFileIsOneAndWhenItCan) {
  log_.LogActivity(Entry("Logon"));
  settings_.KeepLogFile = 2;
  log_.LogActivity(Entry("Logon"));
  EXPECT_EQ(LogBytes(), QByteArray("<missing>"));

  settings_.KeepLogFile = 1;
  ActivityEntry jose = Entry("Logon");
  jose.user = QString::fromUtf8("Jos\u00e9");
  log_.LogActivity(jose);
  jose.code = "Logoff";
  log_.LogActivity(jose);
  const QByteArray date = ToWindows1252(ActivityDateText(now_.date(), QLocale::system()));
  const QByteArray time = ToWindows1252(ActivityTimeText(now_.time(), QLocale::system()));
  const QByteArray tail =
      "     Remote IP: 10.0.0.7               " + date + "     " + time + "\r\n";
  EXPECT_EQ(LogBytes(), "New User     Jos\xe9" + tail + "User Logoff     Jos\xe9" + tail);
  EXPECT_EQ(rows_.rowCount(), 4);
  EXPECT_EQ(QFile(log_.LogFilePath()).permissions() & 0x7077,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  // Client text cannot forge lines: the list shows what was sent, the file one line of it.
  ActivityEntry forged = Entry("UserDenied");
  forged.user = "x\r\nServer Shutdown\tand\x7f";
  log_.LogActivity(forged);
  EXPECT_EQ(LastRow().user, forged.user);
  EXPECT_EQ(LogBytes().count('\n'), 3);
  EXPECT_TRUE(LogBytes().contains("\nUser Denied     x  Server Shutdown and      "))
      << LogBytes().constData();

  // An unknown code gives an empty row and a line of blanks; clearing empties the file,
  // or creates it.
  log_.LogActivity(Entry("logon"));
  EXPECT_EQ(LastRow(), ActivityRow());
  EXPECT_TRUE(LogBytes().endsWith(tail + QByteArray(30, ' ') + "\r\n"));
  EXPECT_TRUE(log_.ClearLogFile());
  EXPECT_EQ(LogBytes(), QByteArray());
  QFile::remove(log_.LogFilePath());
  EXPECT_TRUE(log_.ClearLogFile());
  EXPECT_EQ(LogBytes(), QByteArray());

  // A log file that cannot be written still adds the row.
  ActivityRowsModel rows;
  ActivityLog gone(rows, settings_, dir_.filePath("gone"), HostIdentity{"H", "1.2.3.4"});
  gone.LogActivity(Entry("Logon"));
  ASSERT_EQ(rows.rowCount(), 1);
  EXPECT_EQ(rows.Row(0).event, "New User");
  EXPECT_FALSE(gone.ClearLogFile());
}

TEST_F(ActivityLogTest, ALogFileOthersCouldReadIsMadePrivate) {
  QFile existing(log_.LogFilePath());
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.close();
  ASSERT_TRUE(existing.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ReadOther));
  settings_.KeepLogFile = 1;
  log_.LogActivity(Entry("Logon"));
  EXPECT_EQ(QFile(log_.LogFilePath()).permissions() & 0x7077,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  EXPECT_EQ(LogBytes().count('\n'), 1);
}

ActivityRow RowNamed(const QString& event) { return {event, "U", "D", "T", "1", "d", "t"}; }

TEST(ActivityRowsModel, ALimitOrAClearKeepsTheFirstRowAndALimitTheNewestButAnnouncesEvery) {
  ActivityRowsModel model;
  int announced = 0;
  QObject::connect(&model, &ActivityRowsModel::RowAppended, [&] { ++announced; });
  for (int i = 0; i < 30; ++i) model.AppendRow(RowNamed(QString::number(i)));
  // Over the limit, the oldest after the first go until nine tenths are left.
  model.SetRowLimit(20);
  ASSERT_EQ(model.rowCount(), 18);
  EXPECT_EQ(model.Row(0).event, "0");
  EXPECT_EQ(model.Row(1).event, "13");
  EXPECT_EQ(model.Row(17).event, "29");
  model.AppendRow(RowNamed("30"));
  model.AppendRow(RowNamed("31"));
  ASSERT_EQ(model.rowCount(), 20);
  model.AppendRow(RowNamed("32"));
  ASSERT_EQ(model.rowCount(), 18);
  EXPECT_EQ(model.Row(0).event, "0");
  EXPECT_EQ(model.Row(1).event, "16");
  EXPECT_EQ(model.Row(17).event, "32");
  EXPECT_EQ(announced, 33);
  model.SetRowLimit(0);
  for (int i = 0; i < 10; ++i) model.AppendRow(RowNamed("more"));
  EXPECT_EQ(model.rowCount(), 28);
  // Clearing keeps the first row, and an empty list stays empty.
  model.ClearActivity();
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.Row(0).event, "0");
  ActivityRowsModel empty;
  empty.ClearActivity();
  EXPECT_EQ(empty.rowCount(), 0);
}

TEST(ActivityTimestamp, TimeHasNoZonePart) {
  EXPECT_EQ(TimeFormatWithoutZone("h:mm:ss AP t"), "h:mm:ss AP");
  EXPECT_EQ(TimeFormatWithoutZone("t HH:mm:ss"), "HH:mm:ss");
  EXPECT_EQ(TimeFormatWithoutZone("HH 'h' mm 'et' ss tttt"), "HH 'h' mm 'et' ss");
  EXPECT_EQ(TimeFormatWithoutZone("HH:mm t 'x'"), "HH:mm 'x'");
  EXPECT_EQ(ActivityTimeText(QTime(7, 8, 9), QLocale::c()), "07:08:09");
}

}  // namespace
}  // namespace corvane::test
