// Client SQL against a live server that reaches past the client's own data: SQLite's own
// tables can be read but never changed, and functions beyond the safe ones are refused,
// while the Jet functions clients use keep working.
#include <gtest/gtest.h>

#include "core/db/db_session_fixture.h"

namespace corvane::test {
namespace {

class ClientSqlSafetyTest : public DbSessionTest {
 protected:
  void SetUp() override {
    DbSessionTest::SetUp();
    MakePeople(path_, {"Ann", "Bob"});  // AUTOINCREMENT: sqlite_sequence holds people's 2
  }

  // A client whose query named `name` over `sql` is open; its reply.
  ClientReply Created(std::unique_ptr<CorvaneClient>& client, const QByteArray& name,
                      const QByteArray& sql) {
    client = LoggedOn();
    Ask(*client, "RequestTablesWiz", {"0"});
    return Ask(*client, "CreateQuery", {name, sql});
  }

  // "Update", "Add" and "Delete" of the current record are all refused as on any read-only
  // set: "ErrorUpdate", then the record as stored.
  void ExpectEveryWriteRefused(CorvaneClient& client, const QList<QByteArray>& values) {
    const ClientReply shown = Ask(client, "First");
    ASSERT_EQ(shown.word, "Data");
    ExpectRefusedUpdate(client, values, shown.text);
    for (const QByteArray& word : {QByteArray("Add"), QByteArray("Delete")}) {
      client.Send(word, word == "Add" ? values : QList<QByteArray>{});
      const QList<ClientReply> replies = client.ReadReplies(2);
      ASSERT_FALSE(replies.isEmpty()) << word.constData();
      EXPECT_EQ(replies[0].word, "ErrorUpdate") << word.constData();
    }
  }

  // Another client adds a person and gets the next key.
  void ExpectAddStillWorks(int key) {
    auto other = LoggedOn("ann", "PW", 23456789);
    ASSERT_EQ(Ask(*other, "RequestTheTable", {"0", "0"}).word, "Fields");
    EXPECT_EQ(Ask(*other, "Add", {"", "Cy", "30"}).word, "Data");
    EXPECT_EQ(Query("SELECT max(id) FROM people").toInt(), key);
  }
};

TEST_F(ClientSqlSafetyTest, SqlitesOwnTablesAreReadOnlySets) {
  Exec("ANALYZE");
  Publish({"people", "sqlite_sequence"});
  std::unique_ptr<CorvaneClient> client;
  // A client's query over sqlite_sequence: a maximal key there would make every later Add
  // fail with "database or disk is full", for every user.
  ASSERT_EQ(Created(client, "seq", "SELECT * FROM sqlite_sequence").word, "FieldsCreateQuery");
  ExpectEveryWriteRefused(*client, {"people", "9223372036854775807"});
  EXPECT_EQ(Query("SELECT seq FROM sqlite_sequence WHERE name = 'people'").toInt(), 2);
  ExpectAddStillWorks(3);

  ASSERT_EQ(Created(client, "stat", "SELECT * FROM sqlite_stat1").word, "FieldsCreateQuery");
  ExpectEveryWriteRefused(*client, {"people", "", "999"});
  EXPECT_EQ(Query("SELECT count(*) FROM sqlite_stat1").toInt(), 1);

  // The table opened by name from a list the operator published.
  client = LoggedOn();
  ASSERT_EQ(Ask(*client, "RequestTheTable", {"0", "1"}).word, "Fields");
  ExpectEveryWriteRefused(*client, {"people", "9223372036854775807"});
  ExpectAddStillWorks(4);
}

TEST_F(ClientSqlSafetyTest, FunctionsBeyondTheSafeOnesAreRefusedWhereverClientTextGoes) {
  Exec("CREATE VIEW leak AS SELECT hex(fts3_tokenizer('simple')) AS p");
  Exec("CREATE VIEW shout AS SELECT UCase(name) AS n FROM people");
  Publish({"people"}, {"leak", "shout"});
  std::unique_ptr<CorvaneClient> client;
  // fts3_tokenizer hands out an address inside SQLite.
  for (const QByteArray& sql :
       {QByteArray("SELECT hex(fts3_tokenizer('simple'))"),
        QByteArray("SELECT name FROM people WHERE fts3_tokenizer('simple') IS NOT NULL"),
        QByteArray("SELECT sqlite_compileoption_get(0)"), QByteArray("SELECT load_extension('x')"),
        QByteArray("SELECT p FROM leak")}) {
    const ClientReply reply = Created(client, "q", sql);
    EXPECT_EQ(reply.word, "ErrorDB") << sql.constData();
    EXPECT_TRUE(reply.fields.value(0).contains("not allowed")) << reply.text.constData();
  }
  // A stored query of the file that calls one is refused too.
  client = LoggedOn();
  const ClientReply stored = Ask(*client, "RequestTheQuery", {"0", "0"});
  EXPECT_EQ(stored.word, "ErrorDB");
  EXPECT_TRUE(stored.fields.value(0).contains("not allowed")) << stored.text.constData();
  // Sort orders and find criteria.
  client = LoggedOn();
  ASSERT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).word, "Fields");
  EXPECT_NE(Ask(*client, "Sort", {"hex(fts3_tokenizer('simple'))"}).word, "Data");
  client = LoggedOn();
  ASSERT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).word, "Fields");
  EXPECT_NE(Ask(*client, "FindFirst", {"0", "fts3_tokenizer('simple') IS NOT NULL"}).word, "Found");

  // Ordinary queries with Jet and SQLite functions work as before, stored ones included.
  client = LoggedOn();
  EXPECT_EQ(Ask(*client, "RequestTheQuery", {"0", "1"}).word, "Fields");
  EXPECT_EQ(Ask(*client, "First").fields.value(1), "ANN");
  const ClientReply jet = Created(
      client, "jet",
      "SELECT UCase(name) AS u, Len(name) AS l, Mid(name, 2) AS m, Left(name, 1) AS f, "
      "IIf(age > 10, 'old', 'young') AS o, Nz(age, 0) AS a, Year(Now()) > 2000 AS y, "
      "abs(-age) AS b, coalesce(name, '') AS c, count(*) AS n, strftime('%Y', 'now') > '2000' "
      "AS s FROM people WHERE name Like 'B*' GROUP BY name");
  ASSERT_EQ(jet.word, "FieldsCreateQuery") << jet.text.constData();
  EXPECT_EQ(Ask(*client, "SendQueryData").fields,
            (QList<QByteArray>{"BOB", "3", "ob", "B", "old", "20", "1", "20", "Bob", "1", "1"}));
}

}  // namespace
}  // namespace corvane::test
