// Bad input against a live server: malformed frames, hostile fields and database files in
// a bad state. Each case checks what the offending client gets (a clear error reply, silence
// or a closed connection), that a second client is served as before, and that no data is
// lost.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QFile>

#include "activity/activity_log.h"
#include "activity/activity_rows_model.h"
#include "activity/host_identity.h"
#include "core/db/db_session_fixture.h"
#include "support/file_bytes.h"
#include "wire/cipher.h"

namespace corvane::test {
namespace {

class BadInputTest : public DbSessionTest {
 protected:
  void SetUp() override {
    DbSessionTest::SetUp();
    MakePeople(path_, {"Ann", "Bob", "Cy"});
    Publish({"people"});
    bystander_ = Bystander();
  }

  void ExpectPeopleIntact(int count = 3) {
    EXPECT_EQ(Query("SELECT count(*) FROM people").toInt(), count);
    EXPECT_EQ(Query("PRAGMA integrity_check").toString(), "ok");
  }

  // A logged-on client on the first record.
  std::unique_ptr<CorvaneClient> OnFirstRecord() {
    auto client = LoggedOn();
    EXPECT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).word, "Fields");
    EXPECT_EQ(Ask(*client, "Next").word, "Data");
    return client;
  }

  void ExpectUpdateRefused(CorvaneClient& client, int timeoutMs) {
    client.Send("Update", {"1", "Nobody", "11"});
    const QList<ClientReply> replies = client.ReadReplies(2, timeoutMs);
    ASSERT_FALSE(replies.isEmpty());
    EXPECT_EQ(replies.front().word, "ErrorUpdate");
  }

  std::unique_ptr<CorvaneClient> bystander_;
};

TEST_F(BadInputTest, FramesWithoutStxOrUnknownWordsGetNoReplyAndOverlongInputBeforeLogonCloses) {
  auto client = LoggedOn();
  client->SendRaw(PlainFrame("Next\x04"));
  client->SendRaw(
      PlainFrame("\x02NoSuchCommand\x04"
                 "1\x04"));
  client->SendRaw(PlainFrame(""));
  EXPECT_TRUE(Silent(*client));
  EXPECT_TRUE(client->IsConnected());
  // The connection still works.
  EXPECT_EQ(Ask(*client, "RequestTables", {"0"}).word, "Tables");
  // Before a logon, overlong unended input closes the connection (the limits' workings:
  // LimitedSessionTest).
  auto before = Connected();
  before->SendRaw(QByteArray(20 * 1024, 'x'));
  EXPECT_TRUE(before->WaitForDisconnected());
  ExpectServed(*bystander_);
}

// Commands without a logon or after a refused one: DispatcherTest.
TEST_F(BadInputTest, RequestsEncipheredWithAnotherKeyThanTheUsersRunNothing) {
  // Right password, but requests enciphered with another private key: they read as
  // garbage and run nothing.
  server_.settings.EncryptionEnabled = 1;
  bystander_ = Bystander();  // one that enciphers too
  auto client = OnFirstRecord();
  ASSERT_NE(client->SessionKey(), 0);
  client->SetPrivateKey(87654321);
  client->Send("Delete");
  client->Send("Update", {"1", "Mallory", "1"});
  client->ReadReplies(2, 500);
  ExpectPeopleIntact();
  EXPECT_EQ(Query("SELECT name FROM people WHERE id = 1").toString(), "Ann");
  ExpectServed(*bystander_);
}

// After a logon the limits are reached by the end marks of a mebibyte.
TEST_F(BadInputTest, AMebibyteOfEndMarksAfterAnEncipheredStxDoesNotStallTheServer) {
  // Every end mark is a frame candidate whose payload deciphers to a text beginning with
  // STX; judging each must not take time in the size of the buffer.
  server_.settings.EncryptionEnabled = 1;
  bystander_ = Bystander();  // one that enciphers too
  auto attacker = LoggedOn();
  ASSERT_NE(attacker->SessionKey(), 0);
  attacker->SendRaw(EncryptPayload("\x02", attacker->SessionKey(), attacker->PrivateKey()));
  for (int i = 0; i < 17; ++i) attacker->SendRaw(QByteArray(64 * 1024, '\x03'));
  EXPECT_TRUE(attacker->WaitForDisconnected(10000));
  ExpectServed(*bystander_);
}

TEST_F(BadInputTest, MissingEmptyAndNonNumericFieldsGetErrorReplies) {
  auto client = LoggedOn();
  EXPECT_EQ(Ask(*client, "RequestTheTable").word, "ErrorDB");
  client = LoggedOn();
  EXPECT_EQ(Ask(*client, "RequestTables", {"99999"}).word, "ErrorDB");  // overflow
  client = LoggedOn();
  EXPECT_EQ(Ask(*client, "RequestTheTable", {"0", "7"}).word, "ErrorDB");
  client = LoggedOn();
  // "abc" reads as 0.
  EXPECT_EQ(Ask(*client, "RequestTheTable", {"abc", "zero"}).word, "Fields");
  EXPECT_EQ(Ask(*client, "Next").word, "Data");
  // Empty values and far too many fields: the update either applies or is refused whole.
  Ask(*client, "Update", {"", "", ""});
  QList<QByteArray> many(100000, "9");
  const auto reply = client->Request("Update", many);
  ASSERT_TRUE(reply);
  ExpectPeopleIntact();
  ExpectServed(*bystander_);
}

TEST_F(BadInputTest, SqlInSearchTextsSortOrdersAndQueryNamesStaysText) {
  auto client = LoggedOn();
  ASSERT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).word, "Fields");
  const QByteArray attack = "x'; DROP TABLE people; --";
  Ask(*client, "FindFirst", {"0", attack});
  Ask(*client, "FindFirst", {"1", "\"); DELETE FROM people; --"});
  Ask(*client, "Sort", {"name; DROP TABLE people"});
  client = LoggedOn();
  Ask(*client, "RequestTablesWiz", {"0"});
  Ask(*client, "CreateQuery", {"q]; DROP TABLE people; --", "SELECT * FROM people"});
  client = LoggedOn();
  Ask(*client, "RequestTablesWiz", {"0"});
  Ask(*client, "CreateQuery", {"q2", "SELECT * FROM people; DROP TABLE people"});
  client = LoggedOn();
  ASSERT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).word, "Fields");
  Ask(*client, "First");
  // A value holding SQL is stored as it is.
  Ask(*client, "Update", {"1", "'); DROP", "10"});
  ExpectPeopleIntact();
  EXPECT_EQ(Query("SELECT name FROM people WHERE id = 1").toString(), "'); DROP");
  ExpectServed(*bystander_);
}

TEST_F(BadInputTest, CorruptOrDeletedDatabaseFileIsReportedAndNotCreatedAgain) {
  bystander_.reset();
  ASSERT_TRUE(WriteFileBytes(path_, QByteArray(8192, '\x5a')));
  QFile::remove(path_ + "-wal");
  QFile::remove(path_ + "-shm");
  auto client = LoggedOn();
  EXPECT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).word, "ErrorDB");
  ASSERT_TRUE(QFile::remove(path_));
  client = LoggedOn();
  EXPECT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).word, "NoDatabase");
  EXPECT_FALSE(QFile::exists(path_));
  client = LoggedOn();
  EXPECT_EQ(Ask(*client, "RequestTables", {"0"}).word, "Tables");
}

TEST_F(BadInputTest, LockedDatabaseRefusesTheWriteAndKeepsTheData) {
  auto client = OnFirstRecord();
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path_.toUtf8().constData(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  ExpectUpdateRefused(*client, 15000);
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(Query("SELECT name FROM people WHERE id = 1").toString(), "Ann");
  ExpectServed(*bystander_);
}

TEST_F(BadInputTest, ReadOnlyDatabaseRefusesWrites) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes to read-only files";
  bystander_.reset();
  ASSERT_TRUE(QFile::setPermissions(path_, QFile::ReadOwner));
  auto client = OnFirstRecord();
  ExpectUpdateRefused(*client, 5000);
  QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner);
  ExpectPeopleIntact();
}

TEST_F(BadInputTest, FullDiskForTheLogFileLeavesTheServerServing) {
  if (!QFile::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ASSERT_TRUE(QFile::link("/dev/full", dir_.filePath("CorvaneDB.log")));
  server_.settings.KeepLogFile = 1;
  ActivityRowsModel rows;
  ActivityLog log(rows, server_.settings, dir_.path(), LocalHostIdentity());
  server_.activity.forward = [&](const ActivityEntry& entry) { log.LogActivity(entry); };
  auto client = OnFirstRecord();
  EXPECT_GT(rows.rowCount(), 0);
  server_.activity.forward = nullptr;
  ExpectServed(*bystander_);
}

}  // namespace
}  // namespace corvane::test
