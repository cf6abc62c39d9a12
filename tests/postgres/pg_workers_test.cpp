// Requests on a server database wait on the network: while PostgreSQL keeps them waiting,
// the clients of database files are still answered.
#include <QLocale>
#include <QTemporaryDir>

#include "client/event_wait.h"
#include "pg_fixture.h"
#include "support/wire_text.h"

namespace corvane::test {
namespace {

TEST(PgWorkersTest, FileClientsAreAnsweredWhileServerDatabaseRequestsWait) {
  if (!PgAvailable()) GTEST_SKIP() << kNoCluster;
  QTemporaryDir dir;
  TestServer server;
  server.UseLocale(QLocale::c());
  PublishPeopleInClusterAndFile(server, dir.filePath("shop.db"));
  ASSERT_TRUE(server.Start());
  auto browsing = [&](const char* database) {
    auto client = LoggedOnClient(server.port(), "bob", "secret", 12345678);
    const auto fields = client->Request("RequestTheTable", {database, "0"});
    EXPECT_TRUE(fields && fields->word == "Fields");
    return client;
  };
  std::vector<std::unique_ptr<CorvaneClient>> remote;
  for (int i = 0; i < 4; ++i) remote.push_back(browsing("0"));
  auto local = browsing("1");

  // The table is locked: every read of a record on it waits until the lock goes.
  PgSession locker;
  locker.Exec("BEGIN");
  locker.Exec("LOCK TABLE people IN ACCESS EXCLUSIVE MODE");
  for (auto& client : remote) client->Send("Next");
  EXPECT_TRUE(WaitUntil(
      [] {
        return PgValue(
                   "SELECT count(*) FROM pg_stat_activity WHERE application_name = "
                   "'corvane-server' AND wait_event_type = 'Lock'") == "4";
      },
      20000));
  const auto reply = local->Request("Next");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->text, Message({"Data", "2", "2", "Bob"}));
  locker.Exec("COMMIT");
  for (auto& client : remote) {
    const auto waited = client->ReadReply(20000);
    ASSERT_TRUE(waited);
    EXPECT_EQ(waited->text, Message({"Data", "2", "2", "Bob"}));
  }
}

}  // namespace
}  // namespace corvane::test
