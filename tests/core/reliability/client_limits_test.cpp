// What one logged-on client may make the server do, against a live server: how long a
// request's database work may run, how large a value its query may build. Each case checks
// the refusal the client gets and that a second client is served.
#include <gtest/gtest.h>

#include "client/event_wait.h"
#include "core/db/db_session_fixture.h"
#include "engine/connection.h"

namespace corvane::test {
namespace {

class ClientLimitsTest : public DbSessionTest {
 protected:
  void SetUp() override {
    DbSessionTest::SetUp();
    // 50,000 records: reading all of them takes SQLite far more steps than it runs between
    // two looks at the clock.
    Exec(
        "CREATE TABLE towns (id INTEGER PRIMARY KEY, City VARCHAR(40), n LONG);"
        "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 50000) "
        "INSERT INTO towns (City, n) SELECT 'town ' || i, i FROM k;");
    Publish({"towns"});
    bystander_ = Bystander();
  }

  std::unique_ptr<CorvaneClient> bystander_;
};

TEST_F(ClientLimitsTest, EveryStatementOfARequestStopsAtItsDeadline) {
  auto client = LoggedOn();
  ASSERT_EQ(Ask(*client, "RequestTablesWiz", {"0"}).word, "TablesWiz");
  // Reading a record evaluates the select list: each record costs a pass over the table.
  ASSERT_EQ(Ask(*client, "CreateQuery",
                {"Ranked",
                 "SELECT id, (SELECT b.City FROM towns AS b WHERE b.n >= towns.n ORDER BY b.City "
                 "LIMIT 1) AS top_city FROM towns WHERE id <= 3"})
                .word,
            "FieldsCreateQuery");
  auto browsing = LoggedOn();
  ASSERT_EQ(Ask(*browsing, "RequestTheTable", {"0", "0"}).word, "Fields");

  // A deadline that has passed already: only statements too short for SQLite to look at the
  // clock finish.
  server_.slots().SetClientWorkLimit(0);
  // Fetching the next query record: the clean-up runs instead, without a reply.
  client->Send("SendQueryData");
  EXPECT_TRUE(Silent(*client));
  EXPECT_TRUE(WaitUntil([&] { return !StoredQuery("Ranked"); }, 5000));
  // Opening a table reads all its keys; finding and sorting read all its records.
  auto opening = LoggedOn();
  EXPECT_EQ(Ask(*opening, "RequestTheTable", {"0", "0"}).word, "ErrorDB");
  EXPECT_EQ(Ask(*browsing, "FindFirst", {"1", "no such town"}).word, "ErrorUpdate");
  // Reading one record by its key is quick enough.
  EXPECT_EQ(Ask(*browsing, "Last").word, "Data");
  EXPECT_EQ(Ask(*browsing, "Sort", {"n DESC"}).word, "ErrorUpdate");

  server_.slots().SetClientWorkLimit(kClientWorkLimitMs);
  ASSERT_EQ(Ask(*browsing, "RequestTheTable", {"0", "0"}).word, "Fields");
  EXPECT_EQ(Ask(*browsing, "FindFirst", {"1", "town 49999"}).word, "Found");
  ExpectServed(*bystander_);
}

TEST_F(ClientLimitsTest, AValueLargerThanTheLimitIsRefused) {
  // One value of 200 MB took 1.2 GB once: the whole text, its copies and its row.
  auto client = LoggedOn();
  Ask(*client, "RequestTablesWiz", {"0"});
  const QByteArray half = QByteArray::number(kValueLengthLimitBytes / 2 + 1);
  const QByteArray part = "printf('%.*c', " + half + ", 'x')";
  const ClientReply reply =
      Ask(*client, "CreateQuery",
          {"Huge", "SELECT " + part + " || " + part + " AS v FROM towns WHERE id = 1"});
  EXPECT_EQ(reply.word, "ErrorDB");
  EXPECT_TRUE(reply.fields.value(0).contains("too big")) << reply.fields.value(0).constData();
  EXPECT_FALSE(StoredQuery("Huge"));
  // printf gives Null rather than a text over the limit; values within it are built as before.
  const QByteArray huge = QByteArray::number(kValueLengthLimitBytes + 1);
  const QByteArray large = QByteArray::number(kValueLengthLimitBytes / 2);
  const QByteArray sql = "SELECT length(printf('%.*c', " + large + ", 'x')) AS v, printf('%.*c', " +
                         huge + ", 'x') IS NULL AS w FROM towns WHERE id = 1";
  EXPECT_EQ(Ask(*client, "CreateQuery", {"Large", sql}).text,
            Message({"FieldsCreateQuery", "1", "v", "w"}));
  EXPECT_EQ(Ask(*client, "SendQueryData").fields, (QList<QByteArray>{large, "1"}));
  ExpectServed(*bystander_);
}

}  // namespace
}  // namespace corvane::test
