#pragma once

// A server with the database commands over a real database (a SQLite file in a temporary
// folder, or a server database), and logged-on reference clients talking to it.

#include <gtest/gtest.h>

#include <QLocale>
#include <QTemporaryDir>
#include <memory>

#include "client/corvane_client.h"
#include "support/sqlite_files.h"
#include "support/test_database.h"
#include "support/test_server.h"
#include "support/wire_text.h"

namespace corvane::test {

class DbSessionTest : public ::testing::Test {
 protected:
  explicit DbSessionTest(Engine engine = Engine::kSqlite)
      : path_(dir_.filePath(QStringLiteral("shop.db"))), db_(engine, path_) {}

  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    if (!db_.Prepare()) GTEST_SKIP() << kNoCluster;
    server_.UseLocale(locale_);
    ASSERT_TRUE(server_.Start());
  }

  void Exec(const QString& sql) { db_.Exec(sql); }
  QVariant Query(const QString& sql) { return db_.Query(sql); }
  bool IsPostgres() const { return db_.IsPostgres(); }
  QString Location() const { return db_.location(); }
  bool StoredQuery(const QString& name) const { return db_.HasView(name); }

  // Publishes the database as database 0 ("shop.db") with these lists.
  void Publish(const QStringList& tables, const QStringList& queries = {}) {
    server_.catalogue.Replace({{{QStringLiteral("shop.db"), db_.location()}}, {tables}, {queries}});
  }

  // "people" with these names, published as the only table and opened by a client.
  std::unique_ptr<CorvaneClient> Browsing(const QStringList& names) {
    db_.MakePeople(names);
    Publish({QStringLiteral("people")});
    auto client = LoggedOn();
    Ask(*client, "RequestTheTable", {"0", "0"});
    return client;
  }

  // A refused "Update" (or "Add") is answered twice: "ErrorUpdate", then the record as stored.
  void ExpectRefusedUpdate(CorvaneClient& client, const QList<QByteArray>& fields,
                           const QByteArray& stored, const QByteArray& command = "Update") {
    client.Send(command, fields);
    const QList<ClientReply> replies = client.ReadReplies(2);
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(replies[0].word, "ErrorUpdate");
    EXPECT_FALSE(replies[0].fields.value(0).isEmpty());
    EXPECT_EQ(replies[1].text, stored);
  }

  std::unique_ptr<CorvaneClient> LoggedOn(const QByteArray& user = "bob",
                                          const QByteArray& password = "secret",
                                          int32_t key = 12345678) {
    return LoggedOnClient(server_.port(), user, password, key);
  }
  std::unique_ptr<CorvaneClient> Connected() { return ConnectedClient(server_.port()); }

  // A second client, logged on as "ann", browsing table 0 of database 0: bad input from
  // another client must not keep it from being served.
  std::unique_ptr<CorvaneClient> Bystander() {
    auto client = LoggedOn("ann", "PW", 23456789);
    EXPECT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).word, "Fields");
    return client;
  }
  // The client is still connected and reads the first record of its set.
  void ExpectServed(CorvaneClient& client) {
    ASSERT_TRUE(client.IsConnected());
    const ClientReply first = Ask(client, "First");
    EXPECT_EQ(first.word, "Data");
    EXPECT_EQ(first.fields.value(0), "1");
  }

  // True when nothing arrives for a moment.
  bool Silent(CorvaneClient& client) { return !client.ReadReply(300).has_value(); }

  int Events(const QByteArray& code) const { return server_.activity.Count(code); }

  QLocale locale_{QLocale::English, QLocale::UnitedStates};
  QTemporaryDir dir_;
  QString path_;  // the database file of suites run on SQLite alone
  TestDatabase db_;
  // Refreshes drop connections without a logon at once, so tests need not wait for it.
  TestServer server_{ConnectionLimits{.logonGraceMs = 0}};
};

// A suite run on a database file and on a server database (instantiated with
// INSTANTIATE_TEST_SUITE_P(Engines, Suite, BothEngines(), EngineName)).
class EngineSessionTest : public DbSessionTest, public ::testing::WithParamInterface<Engine> {
 protected:
  EngineSessionTest() : DbSessionTest(GetParam()) {}
};

}  // namespace corvane::test
