#include <QFile>

#include "db_session_fixture.h"

namespace corvane::test {
namespace {

class BrowseTest : public DbSessionTest {};

TEST_F(BrowseTest, FieldListAndRecordRepliesByteForByte) {
  MakePeople({"Ann", "Bob", "Cy"});
  Exec(QStringLiteral("UPDATE people SET age = NULL WHERE name = 'Bob'"));
  Publish({QStringLiteral("people")});
  auto client = LoggedOn();
  EXPECT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).text,
            Message({"Fields", "3", "id", "name", "age"}));
  EXPECT_EQ(Events("Database"), 1);
  EXPECT_EQ(Ask(*client, "SendTheData").text, Message({"Data", "1", "1", "Ann", "10"}));
  // A Null number is sent as 0.
  EXPECT_EQ(Ask(*client, "Next").text, Message({"Data", "2", "2", "Bob", "0"}));
  EXPECT_EQ(Ask(*client, "Last").text, Message({"Data", "3", "3", "Cy", "30"}));
  EXPECT_EQ(Ask(*client, "Prev").text, Message({"Data", "2", "2", "Bob", "0"}));
  EXPECT_EQ(Ask(*client, "First").text, Message({"Data", "1", "1", "Ann", "10"}));
  EXPECT_EQ(Ask(*client, "Blank").text, Message({"Data", "1", "1", "Ann", "10"}));
  EXPECT_EQ(Events("Retrieve"), 4);
  // Opening again leaves the first record current whatever was current before.
  Ask(*client, "Last");
  Ask(*client, "RequestTheTable", {"0", "0"});
  EXPECT_EQ(Ask(*client, "SendTheData").fields.value(0), "1");
}

TEST_F(BrowseTest, EmptyTableHasNoRecordToMoveTo) {
  MakePeople({});
  Publish({QStringLiteral("people")});
  auto client = LoggedOn();
  EXPECT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).text,
            Message({"Fields", "0", "id", "name", "age"}));
  EXPECT_EQ(Ask(*client, "SendTheData").text, Message({"Data", "0", "", "", ""}));
  EXPECT_EQ(Ask(*client, "First").word, "BOF");
  EXPECT_EQ(Ask(*client, "Prev").word, "BOF");
  EXPECT_EQ(Ask(*client, "Last").word, "EOF");
  EXPECT_EQ(Ask(*client, "Next").word, "EOF");
  EXPECT_EQ(Ask(*client, "Delete").word, "BOF");
  EXPECT_EQ(Ask(*client, "Sort", {"name"}).word, "BOF");
  EXPECT_EQ(Ask(*client, "FindFirst", {"0", "a"}).word, "BOF");
  EXPECT_EQ(Events("Retrieve"), 0);
}

TEST_F(BrowseTest, TheCursorNeverRestsOutsideTheSet) {
  auto client = Browsing({"Ann", "Bob"});
  const QByteArray ann = Message({"Data", "1", "1", "Ann", "10"});
  const QByteArray bob = Message({"Data", "2", "2", "Bob", "20"});
  EXPECT_EQ(Ask(*client, "Last").text, bob);
  EXPECT_EQ(Ask(*client, "Next").word, "EOF");
  EXPECT_EQ(Ask(*client, "SendTheData").text, bob);
  EXPECT_EQ(Ask(*client, "Prev").text, ann);
  EXPECT_EQ(Ask(*client, "Prev").word, "BOF");
  EXPECT_EQ(Ask(*client, "SendTheData").text, ann);
  EXPECT_EQ(Ask(*client, "First").text, ann);
}

TEST_F(BrowseTest, SavedQueryOpensByItsNumber) {
  MakePeople({"Ann", "Bob", "Cy"});
  Exec(QStringLiteral("CREATE VIEW older AS SELECT name, age FROM people WHERE age > 10"));
  Publish({QStringLiteral("people")}, {QStringLiteral("older")});
  auto client = LoggedOn();
  EXPECT_EQ(Ask(*client, "RequestTheQuery", {"0", "0"}).text,
            Message({"Fields", "2", "name", "age"}));
  EXPECT_EQ(Ask(*client, "SendTheData").text, Message({"Data", "1", "Bob", "20"}));
}

TEST_F(BrowseTest, DeletedFileAnswersNoDatabaseAndKeepsThePreviousDatabase) {
  MakePeople({"Ann", "Bob"});
  const QString gone = dir_.filePath(QStringLiteral("gone.db"));
  ExecOnFile(gone, QStringLiteral("CREATE TABLE t (x LONG)"));
  server_.catalogue.published = {{QStringLiteral("shop.db"), path_},
                                 {QStringLiteral("gone.db"), gone}};
  server_.catalogue.tableLists = {{QStringLiteral("people")}, {QStringLiteral("t")}};
  server_.catalogue.queryLists = {{}, {}};
  ASSERT_TRUE(QFile::remove(gone));
  auto client = LoggedOn();
  Ask(*client, "RequestTheTable", {"0", "0"});
  Ask(*client, "Next");
  EXPECT_EQ(Ask(*client, "RequestTheTable", {"1", "0"}).text, Message({"NoDatabase"}));
  EXPECT_TRUE(Silent(*client));
  EXPECT_EQ(Ask(*client, "SendTheData").fields.value(2), "Bob");
  EXPECT_EQ(Ask(*client, "RequestTablesWiz", {"1"}).word, "NoDatabase");
  EXPECT_EQ(server_.slots().Slot(0).session.SlotDatabaseName, "shop.db");
  EXPECT_EQ(server_.slots().Slot(0).session.SlotObjectName, "people");
}

TEST_F(BrowseTest, UnopenableTableIsAnOpenErrorAndLeavesNoSet) {
  MakePeople({"Ann"});
  Publish({QStringLiteral("nosuch")});
  auto client = LoggedOn();
  ClientReply reply = Ask(*client, "RequestTheTable", {"0", "0"});
  EXPECT_EQ(reply.word, "ErrorDB");
  EXPECT_FALSE(reply.fields.value(0).isEmpty());
  EXPECT_EQ(Events("ErrorOpen"), 1);
  EXPECT_TRUE(server_.slots().Slot(0).session.SlotUserName.isEmpty());
  // Commands without an open set are answered by the dispatcher.
  const int errors = Events("ErrorCommand");
  client = LoggedOn();
  reply = Ask(*client, "Next");
  EXPECT_EQ(reply.word, "ErrorDB");
  EXPECT_EQ(reply.fields.value(0), "Object variable or With block variable not set");
  EXPECT_EQ(Events("ErrorCommand"), errors + 1);
}

TEST_F(BrowseTest, CloseReportsFirstThenClosesAndSendsNothing) {
  auto client = Browsing({"Ann"});
  ClientSlot& slot = server_.slots().Slot(0);
  const ActivityEntry open = slot.Activity("Close");
  EXPECT_EQ(open.database, path_);
  EXPECT_EQ(open.recordset, "people");
  EXPECT_EQ(open.record, "1");
  client->Send("Close");
  EXPECT_TRUE(Silent(*client));
  EXPECT_EQ(Events("Close"), 1);
  EXPECT_TRUE(slot.Activity("Close").database.isEmpty());
  EXPECT_TRUE(slot.session.SlotDatabaseName.isEmpty());
  // Close without a database still reports and sends nothing.
  client->Send("Close");
  EXPECT_TRUE(Silent(*client));
  EXPECT_EQ(Events("Close"), 2);
}

}  // namespace
}  // namespace corvane::test
