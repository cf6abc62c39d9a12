#include "client/event_wait.h"
#include "config/left_queries.h"
#include "db_session_fixture.h"
#include "protocol/socket_state.h"
#include "support/program_folder.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

class QueryWizardTest : public EngineSessionTest {
 protected:
  void SetUp() override {
    EngineSessionTest::SetUp();
    if (IsSkipped()) return;
    Exec(
        "CREATE TABLE items (id INTEGER PRIMARY KEY, label VARCHAR(20), qty LONG);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 150) "
        "INSERT INTO items (label, qty) SELECT 'item ' || i, i FROM n;"
        "CREATE VIEW operators AS SELECT label FROM items WHERE qty < 3");
    Publish({"items"}, {"operators"});
    client_ = LoggedOn();
  }

  // A query its client let go is removed on a worker in its database's turn, a moment
  // after the client went or was answered.
  bool RemovedSoon(const QString& name) {
    return WaitUntil([&] { return !StoredQuery(name); }, 5000);
  }

  // Asks for query records until "EndQuery"; how many came.
  int StreamLength() {
    for (int n = 0; n < 200; ++n) {
      const ClientReply reply = Ask(*client_, "SendQueryData");
      if (reply.word != "QueryData") return reply.word == "EndQuery" ? n : -1;
    }
    return -2;
  }

  std::unique_ptr<CorvaneClient> client_;
};

TEST_P(QueryWizardTest, ThreeRecordsAreStreamedThenTheQueryIsSaved) {
  EXPECT_EQ(Ask(*client_, "RequestTablesWiz", {"0"}).text, Message({"TablesWiz", "items"}));
  EXPECT_TRUE(server_.slots().Slot(0).session().SlotObjectName.isEmpty());
  EXPECT_EQ(Ask(*client_, "RequestTheFieldsWiz", {"0", "0"}).text,
            Message({"FieldsWiz", "id", "label", "qty"}));
  EXPECT_EQ(
      Ask(*client_, "CreateQuery", {"Small", "SELECT label, qty FROM items WHERE qty <= 3"}).text,
      Message({"FieldsCreateQuery", "3", "label", "qty"}));
  EXPECT_TRUE(StoredQuery("Small"));
  EXPECT_EQ(Ask(*client_, "SendQueryData").text, Message({"QueryData", "item 1", "1"}));
  EXPECT_EQ(Ask(*client_, "SendQueryData").fields.value(0), "item 2");
  EXPECT_EQ(Ask(*client_, "SendQueryData").fields.value(0), "item 3");
  EXPECT_EQ(Ask(*client_, "SendQueryData").word, "EndQuery");
  EXPECT_EQ(Ask(*client_, "SaveQuery", {"0"}).text, Message({"Fields", "3", "label", "qty"}));
  EXPECT_EQ(Events("Query"), 1);
  EXPECT_EQ(Ask(*client_, "RequestQuery", {"0"}).fields, (QList<QByteArray>{"operators", "Small"}));
  // A saved query is no longer the slot's to delete.
  client_->Send("RemoveQuery");
  EXPECT_TRUE(Silent(*client_));
  EXPECT_TRUE(StoredQuery("Small"));
  EXPECT_EQ(Ask(*client_, "RequestTheQuery", {"0", "1"}).fields.value(0), "3");
}

TEST_P(QueryWizardTest, AStreamStopsAfterOneHundredRecordsAndRemoveDeletesOnlyTheSlotsOwn) {
  Ask(*client_, "RequestTablesWiz", {"0"});
  EXPECT_EQ(Ask(*client_, "CreateQuery", {"All", "SELECT * FROM items"}).fields.value(0), "150");
  EXPECT_EQ(StreamLength(), 100);
  Ask(*client_, "RequestTablesWiz", {"0"});
  EXPECT_TRUE(RemovedSoon("All"));
  Ask(*client_, "CreateQuery", {"Mine", "SELECT * FROM items WHERE qty = 7"});
  client_->Send("RemoveQuery");
  EXPECT_TRUE(Silent(*client_));
  EXPECT_FALSE(StoredQuery("Mine"));
  EXPECT_TRUE(server_.slots().Slot(0).session().SlotDatabaseName.isEmpty());
  // The operator's query opened by the client stays.
  Ask(*client_, "RequestTheQuery", {"0", "0"});
  client_->Send("RemoveQuery");
  EXPECT_TRUE(Silent(*client_));
  EXPECT_TRUE(StoredQuery("operators"));
  // Without anything open nothing happens.
  client_->Send("RemoveQuery");
  EXPECT_TRUE(Silent(*client_));
}

TEST_P(QueryWizardTest, AnUnsavedQueryGoesWhereverItsClientMovesOnOrIsLetGo) {
  const auto create = [&](const QByteArray& name) {
    EXPECT_EQ(Ask(*client_, "CreateQuery", {name, "SELECT * FROM items WHERE qty = 7"}).word,
              "FieldsCreateQuery")
        << name.constData();
  };
  Ask(*client_, "RequestTablesWiz", {"0"});
  create("First");
  create("Second");  // the first was never saved: nobody can save it any more
  EXPECT_FALSE(StoredQuery("First"));
  ASSERT_TRUE(StoredQuery("Second"));
  EXPECT_EQ(Ask(*client_, "RequestTheTable", {"0", "0"}).word, "Fields");
  EXPECT_TRUE(RemovedSoon("Second"));

  Ask(*client_, "RequestTablesWiz", {"0"});
  create("Third");
  Ask(*client_, "RequestTablesWiz", {"0"});
  EXPECT_TRUE(RemovedSoon("Third"));
  create("Fourth");
  client_->Send("Close");
  EXPECT_TRUE(Silent(*client_));
  EXPECT_TRUE(RemovedSoon("Fourth"));

  // Let go when the connection ends, at once, without a refresh.
  Ask(*client_, "RequestTablesWiz", {"0"});
  create("Draft");
  client_->Disconnect();
  ASSERT_TRUE(WaitUntil([&] { return Events("Logoff") == 1; }, 3000));
  EXPECT_EQ(server_.slots().SlotState(0), kSocketClosed);
  EXPECT_TRUE(RemovedSoon("Draft"));

  // Let go by the inactivity limit, and by the operator's setup.
  client_ = LoggedOn();
  Ask(*client_, "RequestTablesWiz", {"0"});
  create("Fifth");
  server_.settings.InactivityLimit = 1;
  server_.slots().CheckInactivity();
  server_.slots().CheckInactivity();
  EXPECT_TRUE(RemovedSoon("Fifth"));
  server_.settings.InactivityLimit = 0;
  client_ = LoggedOn();
  Ask(*client_, "RequestTablesWiz", {"0"});
  create("Sixth");
  server_.slots().FreeEverySlot(FreeReason::kDisconnectAll);
  EXPECT_TRUE(RemovedSoon("Sixth"));
  // Only the client's own unsaved queries went.
  EXPECT_TRUE(StoredQuery("operators"));
}

TEST_P(QueryWizardTest, TakenNamesWritesAndFailedCreationsLeaveNoQueryOfTheirs) {
  Ask(*client_, "RequestTablesWiz", {"0"});
  // Stored, then opened: without records the count cannot be read.
  EXPECT_EQ(Ask(*client_, "CreateQuery", {"Nothing", "SELECT * FROM items WHERE qty < 0"}).word,
            "ErrorDB");
  EXPECT_FALSE(StoredQuery("Nothing"));
  EXPECT_EQ(Events("ErrorQueryCreate"), 1);
  // Names taken, by the slot's own query or by a table, and writing SQL are refused; the
  // query of that name stays.
  ASSERT_EQ(Ask(*client_, "CreateQuery", {"Kept", "SELECT * FROM items WHERE qty = 1"}).word,
            "FieldsCreateQuery");
  for (const QList<QByteArray>& query : {QList<QByteArray>{"Kept", "SELECT * FROM items"},
                                         {"items", "SELECT * FROM items"},
                                         {"Bad", "DELETE FROM items"}}) {
    EXPECT_EQ(Ask(*client_, "CreateQuery", query).word, "ErrorDB") << query[0].constData();
  }
  EXPECT_EQ(Events("ErrorQueryCreate"), 4);
  EXPECT_EQ(Query("SELECT count(*) FROM items").toInt(), 150);
  EXPECT_TRUE(StoredQuery("Kept"));
  EXPECT_EQ(Ask(*client_, "SaveQuery", {"0"}).word, "Fields");
  EXPECT_TRUE(StoredQuery("Kept"));
}

TEST_P(QueryWizardTest, AQueryIsSavedOnlyIntoItsOwnDatabaseAndOnlyOnce) {
  const QString other = dir_.filePath("other.db");
  ExecOnFile(other, "CREATE TABLE parts (id INTEGER PRIMARY KEY, code TEXT)");
  server_.catalogue.Change([&other](Catalogue& next) {
    next.published.push_back({QStringLiteral("other.db"), other});
    next.tableLists.push_back({"parts"});
    next.queryLists.push_back({});
  });
  const auto queries = [this](int d) { return server_.catalogue.Current().queryLists[d]; };
  Ask(*client_, "RequestTablesWiz", {"0"});
  ASSERT_EQ(Ask(*client_, "CreateQuery", {"Mine", "SELECT * FROM items WHERE qty < 5"}).word,
            "FieldsCreateQuery");
  // Refused as a bad request of the wizard is: the other list would offer a query that its
  // file does not hold.
  EXPECT_EQ(Ask(*client_, "SaveQuery", {"1"}).word, "ErrorDB");
  EXPECT_TRUE(queries(1).isEmpty());
  EXPECT_EQ(Events("Query"), 0);
  // The refusal ended the logon; the query is still the slot's to save where it belongs.
  ASSERT_EQ(client_->Logon("bob", "secret", 12345678)->word, "Accepted");
  // A snapshot taken before the save (as a running request holds one) stays as it was.
  const std::shared_ptr<const Catalogue> before = server_.catalogue.Snapshot();
  EXPECT_EQ(Ask(*client_, "SaveQuery", {"0"}).text, Message({"Fields", "4", "id", "label", "qty"}));
  EXPECT_EQ(Ask(*client_, "SaveQuery", {"0"}).word, "Fields");
  EXPECT_EQ(queries(0), (QStringList{"operators", "Mine"}));
  EXPECT_EQ(before->queryLists[0], QStringList{"operators"});
  EXPECT_EQ(Ask(*client_, "SaveQuery", {"1"}).word, "ErrorDB");
  EXPECT_TRUE(queries(1).isEmpty());
  // A table is no query to save.
  client_ = LoggedOn();
  ASSERT_EQ(Ask(*client_, "RequestTheTable", {"0", "0"}).word, "Fields");
  EXPECT_EQ(Ask(*client_, "SaveQuery", {"0"}).word, "ErrorDB");
  EXPECT_EQ(queries(0), (QStringList{"operators", "Mine"}));
  // Another client opening the saved entry gets the query.
  auto other_client = LoggedOn();
  EXPECT_EQ(Ask(*other_client, "RequestTheQuery", {"0", "1"}).fields.value(0), "4");
}

TEST_P(QueryWizardTest, AFailedStreamCleansUpOnlyTheSlotsOwnQuery) {
  // A column renamed under an open set: moving to the next record fails. PostgreSQL reads a
  // query's rows when it opens, so nothing can fail there later.
  if (IsPostgres()) GTEST_SKIP() << "query rows are read when the query opens";
  Exec(
      "CREATE TABLE flags (id INTEGER PRIMARY KEY, done LONG);"
      "INSERT INTO flags (done) VALUES (1), (0);"
      "CREATE VIEW flagged AS SELECT id, done FROM flags");
  server_.catalogue.Change([](Catalogue& next) { next.queryLists[0] << "flagged"; });
  EXPECT_EQ(Ask(*client_, "RequestTheQuery", {"0", "1"}).word, "Fields");
  Exec("ALTER TABLE flags RENAME COLUMN done TO finished");
  client_->Send("SendQueryData");
  EXPECT_TRUE(Silent(*client_));
  EXPECT_TRUE(StoredQuery("flagged"));
  // The slot's texts are cleared, its logon with them: it logs on again.
  client_ = LoggedOn();
  Ask(*client_, "RequestTablesWiz", {"0"});
  Ask(*client_, "CreateQuery", {"Own", "SELECT id, finished FROM flags"});
  Exec("ALTER TABLE flags RENAME COLUMN finished TO done");
  client_->Send("SendQueryData");
  EXPECT_TRUE(Silent(*client_));
  EXPECT_TRUE(RemovedSoon("Own"));
}

// A client query an earlier run could not remove goes at the next start, before the lists
// are built; the saved queries stay, and one whose database is not published waits.
TEST_P(QueryWizardTest, TheStartRemovesTheQueriesAnEarlierRunLeft) {
  Exec("CREATE VIEW draft AS SELECT label FROM items");
  ProgramFolder folder;
  folder.Write({{"Shop", Location()}});
  const LeftQueryFile file(folder.Path(""));
  const LeftQuery elsewhere{folder.Path("gone.db"), "draft"};
  file.Save({{Location(), "draft"}, elsewhere});
  auto server = folder.NewServer();
  ASSERT_EQ(ProgramFolder::Start(*server), StartupBranch::kReady);
  EXPECT_FALSE(StoredQuery("draft"));
  EXPECT_EQ(server->CatalogueLists().queryLists.at(0), QStringList{"operators"});
  EXPECT_EQ(file.Load(), std::vector<LeftQuery>{elsewhere});
}

INSTANTIATE_TEST_SUITE_P(Engines, QueryWizardTest, BothEngines(), EngineName);

}  // namespace
}  // namespace corvane::test
