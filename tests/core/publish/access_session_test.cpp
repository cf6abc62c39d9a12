// A client works on a published Access file: it opens, browses and updates the imported
// database and opens a saved query, and the Access file stays as it was.
#include "client/corvane_client.h"
#include "publish_fixture.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

using AccessSessionTest = PublishTest;

TEST_F(AccessSessionTest, AClientBrowsesAndUpdatesTheImportedDatabase) {
  const QString mdb = CopyFixture("testUnicodeCompV2003.mdb", "Unicode.mdb");
  const QByteArray original = ReadFileBytes(mdb);
  const quint16 port = FreeListenPort();
  WriteSetup({mdb, CopyFixture("queryTestV2003.mdb", "Queries.mdb")}, port);
  auto server = StartedServer();
  server->Slots().StartListening();
  const QString served = server->CatalogueLists().published.at(0).servedLocation;

  CorvaneClient client(5000);
  ASSERT_TRUE(client.Connect("127.0.0.1", port));
  ASSERT_EQ(client.Logon("ANN", "PW1", 12345678).value_or(ClientReply{}).word, "Accepted");
  EXPECT_EQ(client.Request("ThankYou")->fields, (QList<QByteArray>{"Unicode.mdb", "Queries.mdb"}));
  EXPECT_EQ(client.Request("RequestTheTable", {"0", "0"})->fields.mid(0, 3),
            (QList<QByteArray>{"8", "ID", "Unicode"}));
  auto shown = client.Request("Next")->fields;
  ASSERT_GE(shown.size(), 3);
  shown[2] = "Written by a handheld";
  EXPECT_EQ(client.Request("Update", shown.mid(1))->fields.value(2), "Written by a handheld");
  EXPECT_EQ(
      QueryOnFile(served, "SELECT \"Unicode\" FROM \"Table\" WHERE ID = " + shown[1]).toString(),
      "Written by a handheld");
  EXPECT_EQ(ReadFileBytes(mdb), original);

  // The saved select query of the other file opens as a query of the published database.
  EXPECT_EQ(client.Request("RequestQuery", {"1"})->fields, QList<QByteArray>{"SelectQuery"});
  EXPECT_EQ(client.Request("RequestTheQuery", {"1", "0"}).value_or(ClientReply{}).word, "Fields");
  client.Disconnect();
  server->Slots().FreeEverySlot(FreeReason::kShutdown);
  server->Slots().CloseListener();
}

}  // namespace
}  // namespace corvane::test
