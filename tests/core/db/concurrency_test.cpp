// Clients served side by side: one client's long database work holds up nobody else, a
// slot's own requests keep their order, and work whose client goes is stopped.
#include "client/event_wait.h"
#include "core/db/db_session_fixture.h"
#include "protocol/socket_state.h"

namespace corvane::test {
namespace {

class ConcurrencyTest : public EngineSessionTest {
 protected:
  void SetUp() override {
    EngineSessionTest::SetUp();
    if (IsSkipped()) return;
    db_.MakePeople({"Ann", "Bob", "Cy", "Dee"});
    // Counting the rows of four copies of 400 items (25.6 billion) runs until it is stopped
    // (or for the 30 seconds a client's query may take), on either engine.
    Exec("CREATE TABLE items (id INTEGER PRIMARY KEY, n LONG)");
    Exec(
        "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 400) "
        "INSERT INTO items (n) SELECT i FROM c");
    Publish({"people", "items"});
  }

  bool StoredQuery(const QString& name) { return db_.HasView(name); }

  // A client on slot `slot` whose "CreateQuery" is running on a worker.
  std::unique_ptr<CorvaneClient> Working(int slot) {
    auto client = LoggedOn("ann", "pw", 23456789);
    EXPECT_EQ(Ask(*client, "RequestTablesWiz", {"0"}).word, "TablesWiz");
    client->Send("CreateQuery",
                 {"Slow", "SELECT count(*) AS n FROM items a, items b, items c, items d"});
    EXPECT_TRUE(WaitUntil([&] { return server_.slots().Slot(slot).Busy(); }, 3000));
    return client;
  }
};

TEST_P(ConcurrencyTest, PipelinedRequestsAreAnsweredInOrderWhileAnotherSlotWorks) {
  auto working = Working(0);
  auto browsing = LoggedOn();
  EXPECT_EQ(Ask(*browsing, "RequestTheTable", {"0", "0"}).word, "Fields");
  for (const char* word : {"Next", "Next", "Last", "Prev", "First"}) browsing->Send(word);
  const QList<ClientReply> replies = browsing->ReadReplies(5);
  ASSERT_EQ(replies.size(), 5);
  QList<QByteArray> numbers;
  for (const ClientReply& reply : replies) numbers << reply.fields.value(0);
  EXPECT_EQ(numbers, (QList<QByteArray>{"2", "3", "4", "3", "1"}));
  // All that while the other slot's query still ran.
  EXPECT_TRUE(server_.slots().Slot(0).Busy());
  // The browsing slot's rows came in the order of its requests.
  QList<QByteArray> rows;
  for (const ActivityEntry& entry : server_.activity.entries) {
    if (entry.slot == 1) rows << entry.code + entry.record.toLatin1();
  }
  EXPECT_EQ(rows, (QList<QByteArray>{"Logon", "Database1", "Retrieve2", "Retrieve3", "Retrieve4",
                                     "Retrieve3", "Retrieve1"}));
}

TEST_P(ConcurrencyTest, AClientThatLeavesWhileItsWorkRunsFreesItsSlotAndStopsTheWork) {
  auto working = Working(0);
  working->Disconnect();
  ASSERT_TRUE(WaitUntil([&] { return server_.slots().SlotState(0) == kSocketPeerClosing; }, 3000));
  server_.slots().RefreshStatus();
  EXPECT_EQ(server_.slots().SlotState(0), kSocketClosed);
  EXPECT_FALSE(server_.slots().Slot(0).Busy());
  EXPECT_EQ(Events("Logoff"), 1);
  // The stopped statement ends at its next step, long before its query would.
  EXPECT_TRUE(server_.slots().WaitForWork(5000));
  // Its result is dropped and its database released: the query it was storing is gone.
  EXPECT_TRUE(WaitUntil([&] { return !StoredQuery("Slow"); }, 5000));
  EXPECT_EQ(Events("ErrorQueryCreate"), 0);
  // The slot serves the next client at once.
  auto next = LoggedOn();
  EXPECT_EQ(Ask(*next, "RequestTheTable", {"0", "0"}).word, "Fields");
}

TEST_P(ConcurrencyTest, DisconnectingEveryoneStopsRunningWork) {
  auto working = Working(0);
  auto idle = LoggedOn();
  EXPECT_FALSE(server_.slots().WaitForWork(200));  // still running
  server_.slots().FreeEverySlot(FreeReason::kDisconnectAll);
  EXPECT_TRUE(server_.slots().WaitForWork(5000));
  EXPECT_TRUE(working->WaitForDisconnected(3000));
  EXPECT_TRUE(idle->WaitForDisconnected(3000));
  EXPECT_TRUE(WaitUntil([&] { return !StoredQuery("Slow"); }, 5000));
}

INSTANTIATE_TEST_SUITE_P(Engines, ConcurrencyTest, BothEngines(), EngineName);

}  // namespace
}  // namespace corvane::test
