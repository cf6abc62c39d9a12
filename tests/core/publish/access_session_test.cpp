// A client works on a published Access file: it opens, browses and updates the imported
// database, and the Access file stays as it was.
#include "client/corvane_client.h"
#include "publish_fixture.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

class AccessSessionTest : public PublishTest {
 protected:
  std::unique_ptr<CorvaneClient> LoggedOn(quint16 port) {
    auto client = std::make_unique<CorvaneClient>(5000);
    EXPECT_TRUE(client->Connect(QStringLiteral("127.0.0.1"), port));
    const auto reply = client->Logon("ANN", "PW1", 12345678);
    EXPECT_TRUE(reply && reply->word == "Accepted");
    return client;
  }
};

TEST_F(AccessSessionTest, AClientBrowsesAndUpdatesTheImportedDatabase) {
  const QString mdb = CopyFixture("testUnicodeCompV2003.mdb", "Unicode.mdb");
  const QString queries = CopyFixture("queryTestV2003.mdb", "Queries.mdb");
  const QByteArray original = Bytes(mdb);
  const quint16 port = FreeListenPort();
  ASSERT_NE(port, 0);
  WriteSetup({mdb, queries}, port);
  auto server = StartedServer();
  server->Slots().StartListening();
  const QString served = server->CatalogueLists().published.at(0).servedLocation;
  ASSERT_FALSE(served.isEmpty());

  auto client = LoggedOn(port);
  EXPECT_EQ(client->Request("ThankYou")->fields, (QList<QByteArray>{"Unicode.mdb", "Queries.mdb"}));
  EXPECT_EQ(client->Request("RequestTables", {"0"})->fields, QList<QByteArray>{"Table"});
  const auto opened = client->Request("RequestTheTable", {"0", "0"});
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->fields.mid(0, 3), (QList<QByteArray>{"8", "ID", "Unicode"}));
  const auto second = client->Request("Next");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->fields.value(0), "2");
  const QByteArray id = second->fields.value(1);
  ASSERT_FALSE(id.isEmpty());

  auto shown = client->Request("SendTheData")->fields;
  ASSERT_GE(shown.size(), 3);
  shown[2] = "Written by a handheld";
  const auto updated = client->Request("Update", shown.mid(1));
  ASSERT_TRUE(updated);
  EXPECT_EQ(updated->word, "Data");
  EXPECT_EQ(updated->fields.value(2), "Written by a handheld");
  EXPECT_EQ(QueryOnFile(served, QStringLiteral("SELECT \"Unicode\" FROM \"Table\" WHERE ID = %1")
                                    .arg(QString::fromLatin1(id)))
                .toString(),
            "Written by a handheld");
  EXPECT_EQ(Bytes(mdb), original);

  // The saved select query of the other file opens as a query of the published database.
  EXPECT_EQ(client->Request("RequestQuery", {"1"})->fields, QList<QByteArray>{"SelectQuery"});
  const auto query = client->Request("RequestTheQuery", {"1", "0"});
  ASSERT_TRUE(query);
  EXPECT_NE(query->word, "ErrorDB") << query->fields.value(0).constData();
  client->Disconnect();
  server->Slots().FreeEverySlot(FreeReason::kShutdown);
  server->Slots().CloseListener();
}

}  // namespace
}  // namespace corvane::test
