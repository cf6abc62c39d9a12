// Clients over the wire, the same commands on a database file and on a server database,
// each served by two Corvane servers side by side: views as saved queries, and adds from
// more clients than one server holds that never collide.
#include <QLocale>
#include <QSet>
#include <QTemporaryDir>
#include <vector>

#include "pg_fixture.h"
#include "support/test_server.h"
#include "support/wire_text.h"

namespace corvane::test {
namespace {

class WireTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    if (!db_.Prepare()) GTEST_SKIP() << kNoCluster;
    db_.Exec(
        "CREATE TABLE people (id INTEGER PRIMARY KEY AUTOINCREMENT, name VARCHAR(10), age LONG);"
        "INSERT INTO people (name, age) VALUES ('Ann', 10), ('Bob', 20);"
        "CREATE VIEW adults AS SELECT name FROM people WHERE age >= 18");
    for (TestServer* s : {&first_, &second_}) {
      s->UseLocale(QLocale::c());
      s->catalogue.Replace({{{QStringLiteral("Shop"), db_.location()}},
                            {{QStringLiteral("people")}},
                            {{QStringLiteral("adults")}}});
      ASSERT_TRUE(s->Start());
    }
  }
  QString Value(const QString& sql) { return db_.Query(sql).toString(); }

  QTemporaryDir dir_;
  TestDatabase db_{GetParam(), dir_.filePath("shop.db")};
  TestServer first_;
  TestServer second_;
};

// Conflicting updates, adds and deletes through one server: EditTest; a record changed by
// another connection: the engine's RecordsetTest.
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
