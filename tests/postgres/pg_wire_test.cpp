// Clients over the wire, the same commands on a database file and on a server database,
// each served by two Corvane servers side by side: what one saves the other's clients see,
// conflicting updates are refused on either, adds never collide.
#include <QLocale>
#include <QSet>
#include <QTemporaryDir>
#include <vector>

#include "core/db/db_session_fixture.h"  // Message
#include "pg_fixture.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

class WireTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    const bool server = GetParam() == Engine::kPostgres;
    if (server && !PgAvailable()) GTEST_SKIP() << kNoCluster;
    QString location = dir_.filePath("shop.db");
    if (server) {
      PgEmptySchema();
      PgExec("CREATE TABLE people (id serial PRIMARY KEY, name varchar(10), age int)");
      location = PgLocation();
    } else {
      ExecOnFile(location,
                 "CREATE TABLE people (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                 "name VARCHAR(10), age LONG)");
    }
    Exec(
        "INSERT INTO people (name, age) VALUES ('Ann', 10), ('Bob', 20);"
        "CREATE VIEW adults AS SELECT name FROM people WHERE age >= 18");
    for (TestServer* s : {&first_, &second_}) {
      s->UseLocale(QLocale::c());
      s->catalogue.Replace({{{QStringLiteral("Shop"), location}},
                            {{QStringLiteral("people")}},
                            {{QStringLiteral("adults")}}});
      ASSERT_TRUE(s->Start());
    }
  }
  void Exec(const QString& sql) {
    if (GetParam() == Engine::kPostgres) return PgExec(sql);
    ExecOnFile(dir_.filePath("shop.db"), sql);
  }
  QString Value(const QString& sql) {
    if (GetParam() == Engine::kPostgres) return PgValue(sql);
    return QueryOnFile(dir_.filePath("shop.db"), sql).toString();
  }
  // A client of `server` browsing table 0 of the published database.
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

  QTemporaryDir dir_;
  TestServer first_;
  TestServer second_;
};

TEST_P(WireTest, TwoServersShareOneDatabaseAndRefuseAConflictingUpdateOnEither) {
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
  Exec("UPDATE people SET age = 11 WHERE id = 1");
  EXPECT_EQ(Ask(*a, "Prev").text, Message({"Data", "1", "1", "Ann", "11"}));
  EXPECT_EQ(Ask(*b, "Prev").text, Message({"Data", "1", "1", "Ann", "11"}));
}

TEST_P(WireTest, AddsOnBothServersGetTheirOwnKeysAndDeleteRemovesTheRecord) {
  auto a = Browsing(first_);
  auto b = Browsing(second_);
  EXPECT_EQ(Ask(*a, "Add", {"", "Cy", "30"}).text, Message({"Data", "3", "3", "Cy", "30"}));
  EXPECT_EQ(Ask(*b, "Add", {"", "Di", "40"}).text, Message({"Data", "3", "4", "Di", "40"}));
  EXPECT_EQ(Value("SELECT name FROM people WHERE id = 4"), "Di");
  // A text longer than the field's size is cut to it; this set does not hold the other
  // server's record.
  EXPECT_EQ(Ask(*a, "Add", {"", "Bartholomew", "50"}).text,
            Message({"Data", "4", "5", "Bartholome", "50"}));
  EXPECT_EQ(Ask(*a, "First").text, Message({"Data", "1", "1", "Ann", "10"}));
  EXPECT_EQ(Ask(*a, "Delete").text, Message({"Data", "1", "2", "Bob", "20"}));
  EXPECT_EQ(Value("SELECT count(*) FROM people"), "4");
}

TEST_P(WireTest, AViewIsASavedQuery) {
  auto a = LoggedOnClient(first_.port(), "bob", "secret", 12345678);
  EXPECT_EQ(Ask(*a, "RequestTheQuery", {"0", "0"}).text, Message({"Fields", "1", "name"}));
  // A file's view over one table writes through to its rows; a server database's view
  // has no key to address a row by, so it is read-only.
  const bool server = GetParam() == Engine::kPostgres;
  EXPECT_EQ(Ask(*a, "Update", {"Zed"}).word, server ? "ErrorUpdate" : "Data");
  EXPECT_EQ(Value("SELECT count(*) FROM people WHERE name = 'Zed'"), server ? "0" : "1");
}

// More clients than one server holds, split over the two: every one opens the table and
// adds a record at once, and each gets its own key.
TEST_P(WireTest, OneHundredAndFiftyClientsOverTwoServersAllAddTheirRecords) {
  constexpr int kClients = 150;
  std::vector<std::unique_ptr<CorvaneClient>> clients;
  for (int i = 0; i < kClients; ++i) {
    TestServer& server = i % 2 ? second_ : first_;
    clients.push_back(LoggedOnClient(server.port(), "bob", "secret", 12345678, 10000));
    ASSERT_EQ(Ask(*clients.back(), "RequestTheTable", {"0", "0"}).word, "Fields") << i;
  }
  for (int i = 0; i < kClients; ++i) {
    clients[i]->Send("Add", {"", "c" + QByteArray::number(i), QByteArray::number(i)});
  }
  QSet<QByteArray> keys;
  for (int i = 0; i < kClients; ++i) {
    const auto reply = clients[i]->ReadReply(10000);
    ASSERT_TRUE(reply) << i;
    ASSERT_EQ(reply->word, "Data") << i << reply->text.constData();
    EXPECT_EQ(reply->fields.value(2), "c" + QByteArray::number(i));
    keys.insert(reply->fields.value(1));
  }
  EXPECT_EQ(keys.size(), kClients);
  EXPECT_EQ(Value("SELECT count(*) FROM people"), QString::number(kClients + 2));
  // And all of them go on browsing.
  for (int i = 0; i < kClients; ++i) {
    EXPECT_EQ(Ask(*clients[i], "First").text, Message({"Data", "1", "1", "Ann", "10"})) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(BothEngines, WireTest, BothEngines(), EngineName);

}  // namespace
}  // namespace corvane::test
