// Clients served side by side: one client's long database work holds up nobody else, a
// slot's own requests keep their order, and work whose client goes is stopped.
#include <QElapsedTimer>

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

TEST_P(ConcurrencyTest, WorkWhoseClientLeavesOrIsDisconnectedIsStoppedAndItsSlotFreed) {
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

  // Disconnecting everyone stops running work too.
  working = Working(1);
  EXPECT_FALSE(server_.slots().WaitForWork(200));  // still running
  server_.slots().FreeEverySlot(FreeReason::kDisconnectAll);
  EXPECT_TRUE(server_.slots().WaitForWork(5000));
  EXPECT_TRUE(working->WaitForDisconnected(3000));
  EXPECT_TRUE(next->WaitForDisconnected(3000));
  EXPECT_TRUE(WaitUntil([&] { return !StoredQuery("Slow"); }, 5000));
}

TEST_P(ConcurrencyTest, ReadingOnesOwnQueryWaitsForNobodysSchemaChange) {
  auto streaming = LoggedOn();
  ASSERT_EQ(Ask(*streaming, "RequestTablesWiz", {"0"}).word, "TablesWiz");
  ASSERT_EQ(Ask(*streaming, "CreateQuery", {"Mine", "SELECT name FROM people"}).word,
            "FieldsCreateQuery");
  // Slot 1 stores a query of its own in the same database, for as long as it may.
  auto creating = Working(1);
  QElapsedTimer answered;
  answered.start();
  EXPECT_EQ(Ask(*streaming, "SendQueryData").fields.value(0), "Ann");
  EXPECT_LT(answered.elapsed(), 2000);
  EXPECT_TRUE(server_.slots().Slot(1).Busy());
}

TEST_P(ConcurrencyTest, OpeningASmallTableWaitsForNoLongWorkOfOthers) {
  std::vector<std::unique_ptr<CorvaneClient>> sorting;
  for (int slot = 0; slot < 4; ++slot) {
    sorting.push_back(LoggedOn());
    ASSERT_EQ(Ask(*sorting.back(), "RequestTheTable", {"0", "0"}).word, "Fields");
    // Sorted by a count that runs until it is stopped.
    sorting.back()->Send("Sort", {"(SELECT count(*) FROM items a, items b, items c, items d)"});
  }
  for (int slot = 0; slot < 4; ++slot) {
    EXPECT_TRUE(WaitUntil([&] { return server_.slots().Slot(slot).Busy(); }, 3000));
  }
  auto opening = LoggedOn();
  QElapsedTimer answered;
  answered.start();
  EXPECT_EQ(Ask(*opening, "RequestTheTable", {"0", "0"}).word, "Fields");
  EXPECT_LT(answered.elapsed(), 2000);
  for (int slot = 0; slot < 4; ++slot) EXPECT_TRUE(server_.slots().Slot(slot).Busy());
}

TEST_P(ConcurrencyTest, ClientsLeavingAtOnceLeaveNoQueryOfTheirs) {
  std::vector<std::unique_ptr<CorvaneClient>> leaving;
  for (int n = 0; n < 8; ++n) {
    leaving.push_back(LoggedOn());
    ASSERT_EQ(Ask(*leaving.back(), "RequestTablesWiz", {"0"}).word, "TablesWiz");
    ASSERT_EQ(Ask(*leaving.back(), "CreateQuery",
                  {"Draft" + QByteArray::number(n), "SELECT name FROM people"})
                  .word,
              "FieldsCreateQuery");
  }
  for (const auto& client : leaving) client->Disconnect();
  for (int n = 0; n < 8; ++n) {
    EXPECT_TRUE(WaitUntil([&] { return !StoredQuery(QStringLiteral("Draft%1").arg(n)); }, 5000))
        << n;
  }
  // None failed, none is left for the next start.
  EXPECT_TRUE(WaitUntil([&] { return server_.slots().LeftQueries().empty(); }, 3000));
}

INSTANTIATE_TEST_SUITE_P(Engines, ConcurrencyTest, BothEngines(), EngineName);

}  // namespace
}  // namespace corvane::test
