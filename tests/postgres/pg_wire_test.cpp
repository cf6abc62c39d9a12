// Clients over the wire on a published server database, served by two Corvane servers side
// by side: what one saves the other's clients see, conflicting updates are refused on
// either, adds never collide.
#include <QLocale>

#include "core/db/db_session_fixture.h"  // Message
#include "pg_fixture.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

class PgWireTest : public PgTest {
 protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped()) return;
    Exec(
        "CREATE TABLE people (id serial PRIMARY KEY, name varchar(10), age int);"
        "INSERT INTO people (name, age) VALUES ('Ann', 10), ('Bob', 20);"
        "CREATE VIEW adults AS SELECT name FROM people WHERE age >= 18");
    for (TestServer* server : {&first_, &second_}) {
      server->UseLocale(QLocale::c());
      server->catalogue.published = {{QStringLiteral("Shop"), Location()}};
      server->catalogue.tableLists = {{QStringLiteral("people")}};
      server->catalogue.queryLists = {{QStringLiteral("adults")}};
      ASSERT_TRUE(server->Start());
    }
  }
  // A client of `server` browsing table 0 of the server database.
  std::unique_ptr<CorvaneClient> Browsing(TestServer& server) {
    auto client = LoggedOnClient(server.port(), "bob", "secret", 12345678);
    EXPECT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).text,
              Message({"Fields", "2", "id", "name", "age"}));
    return client;
  }
  ClientReply Ask(CorvaneClient& client, const QByteArray& word,
                  const QList<QByteArray>& fields = {}) {
    const auto reply = client.Request(word, fields);
    EXPECT_TRUE(reply) << "no reply to " << word.constData();
    return reply.value_or(ClientReply{});
  }

  TestServer first_;
  TestServer second_;
};

TEST_F(PgWireTest, TwoServersShareOneDatabaseAndRefuseAConflictingUpdateOnEither) {
  auto a = Browsing(first_);
  auto b = Browsing(second_);
  EXPECT_EQ(Ask(*a, "Next").text, Message({"Data", "2", "2", "Bob", "20"}));
  EXPECT_EQ(Ask(*b, "Next").text, Message({"Data", "2", "2", "Bob", "20"}));
  EXPECT_EQ(Ask(*b, "Update", {"2", "Bea", "21"}).text, Message({"Data", "2", "2", "Bea", "21"}));
  // The first server's client still holds Bob: its update is refused, and the record as it
  // now stands follows.
  a->Send("Update", {"2", "Bob", "22"});
  const QList<ClientReply> replies = a->ReadReplies(2);
  ASSERT_EQ(replies.size(), 2);
  EXPECT_EQ(replies[0].word, "ErrorUpdate");
  EXPECT_EQ(replies[1].text, Message({"Data", "2", "2", "Bea", "21"}));
  EXPECT_EQ(Value("SELECT name || age FROM people WHERE id = 2"), "Bea21");
  // What one saved, the other reads on its next fetch.
  EXPECT_EQ(Ask(*a, "Prev").text, Message({"Data", "1", "1", "Ann", "10"}));
  EXPECT_EQ(Ask(*b, "Prev").text, Message({"Data", "1", "1", "Ann", "10"}));
}

TEST_F(PgWireTest, AddsOnBothServersGetTheirOwnKeysAndDeleteRemovesTheRecord) {
  auto a = Browsing(first_);
  auto b = Browsing(second_);
  EXPECT_EQ(Ask(*a, "Add", {"", "Cy", "30"}).text, Message({"Data", "3", "3", "Cy", "30"}));
  EXPECT_EQ(Ask(*b, "Add", {"", "Di", "40"}).text, Message({"Data", "3", "4", "Di", "40"}));
  EXPECT_EQ(Value("SELECT string_agg(id || name, ',' ORDER BY id) FROM people"),
            "1Ann,2Bob,3Cy,4Di");
  // A text longer than varchar(10) is cut to the field's size, as for a file's Text field;
  // this set does not hold the other server's record.
  EXPECT_EQ(Ask(*a, "Add", {"", "Bartholomew", "50"}).text,
            Message({"Data", "4", "5", "Bartholome", "50"}));
  EXPECT_EQ(Ask(*a, "First").text, Message({"Data", "1", "1", "Ann", "10"}));
  EXPECT_EQ(Ask(*a, "Delete").text, Message({"Data", "1", "2", "Bob", "20"}));
  EXPECT_EQ(Value("SELECT count(*) FROM people"), "4");
}

TEST_F(PgWireTest, AViewIsASavedQueryThatOpensReadOnly) {
  auto a = LoggedOnClient(first_.port(), "bob", "secret", 12345678);
  EXPECT_EQ(Ask(*a, "RequestTheQuery", {"0", "0"}).text, Message({"Fields", "1", "name"}));
  EXPECT_EQ(Ask(*a, "Update", {"Zed"}).word, "ErrorUpdate");
  EXPECT_EQ(Value("SELECT count(*) FROM people WHERE name = 'Zed'"), "0");
}

}  // namespace
}  // namespace corvane::test
