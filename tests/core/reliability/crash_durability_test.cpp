// A real server process killed with SIGKILL while a client adds and updates records: after
// the kill every change the client saw acknowledged is in the file, and the file is sound.
#include <gtest/gtest.h>

#include <QMap>

#include "support/file_bytes.h"
#include "support/server_process.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

class CrashDurabilityTest : public ServerProcessTest {
 protected:
  std::unique_ptr<CorvaneClient> LoggedOnWithItems() {
    auto client = LoggedOn();
    const auto fields = client->Request("RequestTheTable", {"0", "0"});
    EXPECT_TRUE(fields && fields->word == "Fields");
    return client;
  }
};

TEST_F(CrashDurabilityTest, AcknowledgedAddsAndUpdatesSurviveSigkill) {
  WriteSetup({"items.db"});
  // Refresh 5 s, no log file, encryption off; multiple logons, no inactivity limit.
  ASSERT_TRUE(WriteFileBytes(Path("general.dat"), "0,0,5,0,0\r\n1,0\r\n"));
  ExecOnFile(Path("items.db"),
             "CREATE TABLE Items (ItemID INTEGER PRIMARY KEY AUTOINCREMENT, "
             "Name VARCHAR(40), Qty LONG)");
  StartServer();
  auto client = LoggedOnWithItems();

  // Item i is added with Qty i, then updated to Qty 10 i. What the client saw acknowledged:
  QMap<QString, int> acknowledged;
  constexpr int kChanges = 200;
  for (int i = 1; 2 * i <= kChanges; ++i) {
    const QByteArray name = "item " + QByteArray::number(i);
    const auto added = client->Request("Add", {"", name, QByteArray::number(i)});
    ASSERT_TRUE(added && added->word == "Data") << i;
    acknowledged[QString::fromLatin1(name)] = i;
    const auto updated =
        client->Request("Update", {added->fields.value(1), name, QByteArray::number(10 * i)});
    ASSERT_TRUE(updated && updated->word == "Data") << i;
    acknowledged[QString::fromLatin1(name)] = 10 * i;
  }
  // More changes on the wire, unacknowledged, when the server dies.
  for (int i = 0; i < 20; ++i) client->Send("Add", {"", "in flight", "1"});
  server_.kill();  // SIGKILL
  ASSERT_TRUE(server_.waitForFinished(5000));

  const QString file = Path("items.db");
  EXPECT_EQ(QueryOnFile(file, "PRAGMA integrity_check").toString(), "ok");
  for (auto it = acknowledged.cbegin(); it != acknowledged.cend(); ++it) {
    EXPECT_EQ(
        QueryOnFile(file, QStringLiteral("SELECT Qty FROM Items WHERE Name = '%1'").arg(it.key()))
            .toInt(),
        it.value())
        << it.key().toStdString();
  }
  EXPECT_EQ(QueryOnFile(file, "SELECT count(*) FROM Items WHERE Name <> 'in flight'").toInt(),
            kChanges / 2);

  // The restarted server serves the same records.
  StartServer();
  EXPECT_EQ(LoggedOnWithItems()->Request("Last").value_or(ClientReply{}).word, "Data");
}

}  // namespace
}  // namespace corvane::test
