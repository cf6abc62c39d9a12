#include "activity/activity_log.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "activity/activity_timestamp.h"
#include "base/windows1252.h"

namespace corvane::test {
namespace {

constexpr int kSlot = 3;

// The facts of a slot with a table open, as a command reports them.
ActivityEntry Entry(const QByteArray& code) {
  ActivityEntry entry;
  entry.code = code;
  entry.slot = kSlot;
  entry.user = "PETE";
  entry.remoteAddress = "10.0.0.7";
  entry.database = "/data/sales.db";
  entry.recordset = "Orders";
  entry.object = "Orders";
  entry.record = "12";
  return entry;
}

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
  ActivityRowsModel rows_;
  ServerSettings settings_;
  ActivityLog log_{rows_, settings_, dir_.path(), HostIdentity{"ATLAS", "192.168.1.20"},
                   [this] { return kNow; }};
};

TEST_F(ActivityLogTest, SessionEventsNameUserAndAddressServerEventsTheHost) {
  const struct {
    QByteArray code;
    ActivityRow row;
  } cases[] = {
      {"Logon", Expected("New User", "PETE", "Remote IP: 10.0.0.7")},
      {"PassDenied", Expected("Password Denied", "PETE", "Remote IP: 10.0.0.7")},
      {"Logoff", Expected("User Logoff", "PETE", "Remote IP: 10.0.0.7")},
  };
  for (const auto& c : cases) {
    log_.LogActivity(Entry(c.code));
    EXPECT_EQ(LastRow(), c.row) << c.code.constData();
  }
  log_.LogServerEvent("ServerStart");
  EXPECT_EQ(LastRow(), Expected("Server Started", "ATLAS", "IP Address: 192.168.1.20"));
  log_.LogServerEvent("ServerShutdown");
  EXPECT_EQ(LastRow(), Expected("Server Shutdown", "ATLAS", "IP Address: 192.168.1.20"));
  log_.LogServerEvent("SetupRun", 4);
  EXPECT_EQ(LastRow(), Expected("Setup Run", "ATLAS", "Users Disconnected:  4"));
}

TEST_F(ActivityLogTest, RecordAndErrorEvents) {
  log_.LogActivity(Entry("Database"));
  EXPECT_EQ(LastRow(), Expected("Retreived Database", "PETE", "/data/sales.db", "Orders", "12"));
  ActivityEntry error = Entry("ErrorUpdate");
  error.errorNumber = 3022;
  error.errorText = "Duplicate key";
  log_.LogActivity(error);
  EXPECT_EQ(LastRow(), Expected("Update Error: 3022  Duplicate key", "PETE", "/data/sales.db",
                                "Orders", "12"));
  error.code = "ErrorCommand";
  log_.LogActivity(error);
  EXPECT_EQ(LastRow(),
            Expected("Receive Data Error: 3022  Duplicate key", "PETE", "/data/sales.db"));
}

TEST_F(ActivityLogTest, EngineQueryNamesAreShortenedOrReplaced) {
  const std::pair<QString, QString> cases[] = {
      {"~sq_cCustomers", "Customers"},    {"~sq_x", ""},
      {"#Temporary QueryDef#", "Orders"}, {"~sq_c#Temporary QueryDef#", "Orders"},
      {"Invoices", "Invoices"},
  };
  for (const auto& [name, shown] : cases) {
    ActivityEntry entry = Entry("Retrieve");
    entry.recordset = name;
    log_.LogActivity(entry);
    EXPECT_EQ(LastRow().table_query, shown) << name.toStdString();
  }
}

TEST_F(ActivityLogTest, NotesShowTheirTextAndUser) {
  log_.LogNote("Web Access on port 8080 over HTTP.");
  EXPECT_EQ(LastRow(), Expected("Web Access on port 8080 over HTTP.", "", ""));
  log_.LogNote("Connection closed", "PETE");
  EXPECT_EQ(LastRow().user, "PETE");
}

TEST_F(ActivityLogTest, UnknownCodeGivesAnEmptyRowAndThirtySpacesAndClearingEmpties) {
  settings_.KeepLogFile = 1;
  log_.LogActivity(Entry("logon"));  // codes compare exactly
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
  log_.LogActivity(Entry("Logon"));
  EXPECT_EQ(LogBytes(), QByteArray("<missing>"));
  settings_.KeepLogFile = 2;
  log_.LogActivity(Entry("Logon"));
  EXPECT_EQ(LogBytes(), QByteArray("<missing>"));

  settings_.KeepLogFile = 1;
  ActivityEntry jose = Entry("Logon");
  jose.user = QString::fromUtf8("Jos\u00e9");
  log_.LogActivity(jose);
  jose.code = "Logoff";
  log_.LogActivity(jose);
  const QByteArray date = ToWindows1252(ActivityDateText(kNow.date(), QLocale::system()));
  const QByteArray time = ToWindows1252(ActivityTimeText(kNow.time(), QLocale::system()));
  const QByteArray tail =
      "     Remote IP: 10.0.0.7               " + date + "     " + time + "\r\n";
  EXPECT_EQ(LogBytes(), "New User     Jos\xe9" + tail + "User Logoff     Jos\xe9" + tail);
  EXPECT_EQ(rows_.rowCount(), 4);

  EXPECT_EQ(QFile(log_.LogFilePath()).permissions() & 0x7077,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner);

  settings_.KeepLogFile.reset();
  log_.LogActivity(Entry("Logon"));
  EXPECT_EQ(LogBytes().count('\n'), 2);
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

TEST_F(ActivityLogTest, ClientTextCannotForgeLogLines) {
  settings_.KeepLogFile = 1;
  ActivityEntry forged = Entry("UserDenied");
  forged.user = "x\r\nServer Shutdown";
  log_.LogActivity(forged);
  EXPECT_EQ(LastRow().user, "x\r\nServer Shutdown");  // the list shows what was sent
  EXPECT_EQ(LogBytes().count('\n'), 1);
  EXPECT_TRUE(LogBytes().startsWith("User Denied     x  Server Shutdown     "));
}

TEST(ActivityLogFile, UnwritableLogFileStillAddsTheRow) {
  QTemporaryDir dir;
  ActivityRowsModel rows;
  ServerSettings settings;
  settings.KeepLogFile = 1;
  ActivityLog log(rows, settings, dir.filePath("gone"), HostIdentity{"H", "1.2.3.4"});
  log.LogActivity(Entry("Logon"));
  ASSERT_EQ(rows.rowCount(), 1);
  EXPECT_EQ(rows.Row(0).event, "New User");
  EXPECT_FALSE(rows.Row(0).date.isEmpty());
  EXPECT_FALSE(log.ClearLogFile());
}

}  // namespace
}  // namespace corvane::test
