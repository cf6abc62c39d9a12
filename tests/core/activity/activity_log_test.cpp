#include "activity/activity_log.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "activity/activity_timestamp.h"
#include "base/windows1252.h"
#include "fake_slot_activity_source.h"

namespace corvane {
namespace {

constexpr int kSlot = FakeSlotActivitySource::kSlot;

class ActivityLogTest : public ::testing::Test {
 protected:
  const QDateTime kNow{QDate(2026, 3, 14), QTime(15, 9, 26)};

  ActivityRow LastRow() const { return rows_.Row(rows_.rowCount() - 1); }

  ActivityRow Expected(QString event, QString user, QString database, QString table_query = {},
                       QString record = {}) const {
    return {event,
            user,
            database,
            table_query,
            record,
            ActivityDateText(kNow.date(), QLocale::system()),
            ActivityTimeText(kNow.time(), QLocale::system())};
  }

  QByteArray LogBytes() const {
    QFile file(log_.LogFilePath());
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll();
  }

  QTemporaryDir dir_;
  FakeSlotActivitySource source_;
  ActivityRowsModel rows_;
  ServerSettings settings_;
  ActivityLog log_{
      source_, rows_, settings_, dir_.path(), HostIdentity{"ATLAS", "192.168.1.20"}, [this] {
        return kNow;
      }};
};

TEST_F(ActivityLogTest, SessionEventsNameUserAndAddressServerEventsTheHost) {
  const struct {
    int slot;
    QByteArray code;
    ActivityRow row;
  } cases[] = {
      {kSlot, "Logon", Expected("New User", "PETE", "Remote IP: 10.0.0.7")},
      {kSlot, "PassDenied", Expected("Password Denied", "PETE", "Remote IP: 10.0.0.7")},
      {kSlot, "Logoff", Expected("User Logoff", "PETE", "Remote IP: 10.0.0.7")},
      {57, "ServerStart", Expected("Server Started", "ATLAS", "IP Address: 192.168.1.20")},
      {0, "ServerShutdown", Expected("Server Shutdown", "ATLAS", "IP Address: 192.168.1.20")},
      {4, "SetupRun", Expected("Setup Run", "ATLAS", "Users Disconnected:  4")},
  };
  for (const auto& c : cases) {
    log_.LogActivity(c.slot, c.code);
    EXPECT_EQ(LastRow(), c.row) << c.code.constData();
  }
  EXPECT_TRUE(source_.calls.isEmpty());  // no cursor is touched for these events
}

TEST_F(ActivityLogTest, RecordEventsShowPositionOrCount) {
  log_.LogActivity(kSlot, "Database");
  EXPECT_EQ(LastRow(), Expected("Retreived Database", "PETE", "/data/sales.db", "Orders", "12"));
  log_.LogActivity(kSlot, "Sort");
  EXPECT_EQ(LastRow(), Expected("Table Sorted", "PETE", "/data/sales.db", "Orders", "40"));
  log_.LogActivity(kSlot, "Query");
  EXPECT_EQ(LastRow().event, "Query Created");
  EXPECT_EQ(LastRow().record, "40");
  EXPECT_EQ(source_.calls, QStringList({"position", "count", "count"}));
}

TEST_F(ActivityLogTest, ErrorEventsAppendNumberTwoSpacesAndText) {
  source_.error_number = 3022;
  source_.error_text = "Duplicate key";
  log_.LogActivity(kSlot, "ErrorUpdate");
  EXPECT_EQ(LastRow(), Expected("Update Error: 3022  Duplicate key", "PETE", "/data/sales.db",
                                "Orders", "12"));
  log_.LogActivity(kSlot, "ErrorCommand");
  EXPECT_EQ(LastRow(),
            Expected("Receive Data Error: 3022  Duplicate key", "PETE", "/data/sales.db"));
}

TEST_F(ActivityLogTest, EngineQueryNamesAreShortenedOrReplaced) {
  const std::pair<QString, QString> cases[] = {
      {"~sq_cCustomers", "Customers"},    {"~sq_x", ""},
      {"#Temporary QueryDef#", "Orders"}, {"~sq_c#Temporary QueryDef#", "Orders"},
      {"Invoices", "Invoices"},
  };
  source_.object = "Orders";
  for (const auto& [name, shown] : cases) {
    source_.recordset = name;
    log_.LogActivity(kSlot, "Retrieve");
    EXPECT_EQ(LastRow().table_query, shown) << name.toStdString();
  }
}

TEST_F(ActivityLogTest, SlotWithoutFactsAndFailingStepsLeaveColumnsEmpty) {
  log_.LogActivity(99, "Close");
  EXPECT_EQ(LastRow(), Expected("Closed Database", "", ""));
  log_.LogActivity(-1, "Add");
  EXPECT_EQ(LastRow(), Expected("Added Record", "", ""));

  source_.throw_on_database = true;
  log_.LogActivity(kSlot, "Delete");
  EXPECT_EQ(LastRow(), Expected("Deleted Record", "PETE", "", "Orders", "12"));
}

TEST_F(ActivityLogTest, UnknownCodeGivesAnEmptyRowAndThirtySpacesAndClearingEmpties) {
  settings_.KeepLogFile = 1;
  log_.LogActivity(kSlot, "logon");  // codes compare exactly
  EXPECT_EQ(LastRow(), ActivityRow());
  EXPECT_EQ(LogBytes(), QByteArray(30, ' ') + "\r\n");
  // Clearing empties the file, or creates it.
  EXPECT_TRUE(log_.ClearLogFile());
  EXPECT_EQ(LogBytes(), QByteArray());
  QFile::remove(log_.LogFilePath());
  EXPECT_TRUE(log_.ClearLogFile());
  EXPECT_EQ(LogBytes(), QByteArray());
}

TEST_F(ActivityLogTest, LogFileIsWrittenOnlyWhileKeepLogFileIsOne) {
  log_.LogActivity(kSlot, "Logon");
  EXPECT_EQ(LogBytes(), QByteArray("<missing>"));
  settings_.KeepLogFile = 2;
  log_.LogActivity(kSlot, "Logon");
  EXPECT_EQ(LogBytes(), QByteArray("<missing>"));

  settings_.KeepLogFile = 1;
  source_.user = QString::fromUtf8("Jos\u00e9");
  log_.LogActivity(kSlot, "Logon");
  log_.LogActivity(kSlot, "Logoff");
  const QByteArray date = ToWindows1252(ActivityDateText(kNow.date(), QLocale::system()));
  const QByteArray time = ToWindows1252(ActivityTimeText(kNow.time(), QLocale::system()));
  const QByteArray tail =
      "     Remote IP: 10.0.0.7               " + date + "     " + time + "\r\n";
  EXPECT_EQ(LogBytes(), "New User     Jos\xe9" + tail + "User Logoff     Jos\xe9" + tail);
  EXPECT_EQ(rows_.rowCount(), 4);

  EXPECT_EQ(QFile(log_.LogFilePath()).permissions() & 0x7077,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner);

  settings_.KeepLogFile.reset();
  log_.LogActivity(kSlot, "Logon");
  EXPECT_EQ(LogBytes().count('\n'), 2);
}

TEST_F(ActivityLogTest, ALogFileOthersCouldReadIsMadePrivate) {
  QFile existing(log_.LogFilePath());
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.close();
  ASSERT_TRUE(existing.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ReadOther));
  settings_.KeepLogFile = 1;
  log_.LogActivity(kSlot, "Logon");
  EXPECT_EQ(QFile(log_.LogFilePath()).permissions() & 0x7077,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  EXPECT_EQ(LogBytes().count('\n'), 1);
}

TEST_F(ActivityLogTest, ClientTextCannotForgeLogLines) {
  settings_.KeepLogFile = 1;
  source_.user = "x\r\nServer Shutdown";
  log_.LogActivity(kSlot, "UserDenied");
  EXPECT_EQ(LastRow().user, "x\r\nServer Shutdown");  // the list shows what was sent
  EXPECT_EQ(LogBytes().count('\n'), 1);
  EXPECT_TRUE(LogBytes().startsWith("User Denied     x  Server Shutdown     "));
}

TEST(ActivityLogFile, UnwritableLogFileStillAddsTheRow) {
  QTemporaryDir dir;
  FakeSlotActivitySource source;
  ActivityRowsModel rows;
  ServerSettings settings;
  settings.KeepLogFile = 1;
  ActivityLog log(source, rows, settings, dir.filePath("gone"), HostIdentity{"H", "1.2.3.4"});
  log.LogActivity(kSlot, "Logon");
  ASSERT_EQ(rows.rowCount(), 1);
  EXPECT_EQ(rows.Row(0).event, "New User");
  EXPECT_FALSE(rows.Row(0).date.isEmpty());
  EXPECT_FALSE(log.ClearLogFile());
}

}  // namespace
}  // namespace corvane
