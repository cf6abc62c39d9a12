// Opening tables and moving through them, byte for byte as clients read it.
#include "db_session_fixture.h"

namespace corvane::test {
namespace {

using BrowseTest = EngineSessionTest;

TEST_P(BrowseTest, FieldListAndRecordRepliesByteForByte) {
  db_.MakePeople({"Ann", "Bob", "Cy"});
  Exec("UPDATE people SET age = NULL WHERE name = 'Bob'");
  Publish({"people"});
  auto client = LoggedOn();
  EXPECT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).text,
            Message({"Fields", "3", "id", "name", "age"}));
  EXPECT_EQ(Events("Database"), 1);
  EXPECT_EQ(Ask(*client, "SendTheData").text, Message({"Data", "1", "1", "Ann", "10"}));
  // A Null number is sent as 0.
  EXPECT_EQ(Ask(*client, "Next").text, Message({"Data", "2", "2", "Bob", "0"}));
  EXPECT_EQ(Ask(*client, "Last").text, Message({"Data", "3", "3", "Cy", "30"}));
  EXPECT_EQ(Ask(*client, "Prev").text, Message({"Data", "2", "2", "Bob", "0"}));
  EXPECT_EQ(Ask(*client, "Blank").text, Message({"Data", "2", "2", "Bob", "0"}));
  EXPECT_EQ(Ask(*client, "First").text, Message({"Data", "1", "1", "Ann", "10"}));
  EXPECT_EQ(Events("Retrieve"), 4);
  // The cursor never rests outside the set.
  EXPECT_EQ(Ask(*client, "Prev").word, "BOF");
  EXPECT_EQ(Ask(*client, "SendTheData").fields.value(2), "Ann");
  Ask(*client, "Last");
  EXPECT_EQ(Ask(*client, "Next").word, "EOF");
  EXPECT_EQ(Ask(*client, "SendTheData").fields.value(2), "Cy");
  // Opening again makes the first record current.
  Ask(*client, "RequestTheTable", {"0", "0"});
  EXPECT_EQ(Ask(*client, "SendTheData").fields.value(0), "1");
}

TEST_P(BrowseTest, AnEmptyTableHasNoRecordToMoveToAndAnUnopenableOneLeavesNoSet) {
  auto client = Browsing({});
  EXPECT_EQ(Ask(*client, "SendTheData").text, Message({"Data", "0", "", "", ""}));
  for (const char* word : {"First", "Prev", "Delete"}) EXPECT_EQ(Ask(*client, word).word, "BOF");
  for (const char* word : {"Last", "Next"}) EXPECT_EQ(Ask(*client, word).word, "EOF");
  EXPECT_EQ(Ask(*client, "Sort", {"name"}).word, "BOF");
  EXPECT_EQ(Ask(*client, "FindFirst", {"0", "a"}).word, "BOF");
  EXPECT_EQ(Events("Retrieve"), 0);

  // A table that cannot be opened is an open error and leaves no set.
  Publish({"nosuch"});
  client = LoggedOn();
  const ClientReply reply = Ask(*client, "RequestTheTable", {"0", "0"});
  EXPECT_EQ(reply.word, "ErrorDB");
  EXPECT_FALSE(reply.fields.value(0).isEmpty());
  EXPECT_EQ(Events("ErrorOpen"), 1);
  // Commands without an open set are answered by the dispatcher.
  client = LoggedOn();
  EXPECT_EQ(Ask(*client, "Next").text,
            Message({"ErrorDB", "Object variable or With block variable not set"}));
  EXPECT_EQ(Events("ErrorCommand"), 1);
}

TEST_P(BrowseTest, CloseReportsWhatWasOpenThenClosesAndSendsNothing) {
  auto client = Browsing({"Ann"});
  client->Send("Close");
  EXPECT_TRUE(Silent(*client));
  ASSERT_EQ(Events("Close"), 1);
  EXPECT_EQ(server_.activity.entries.back().database, Location());
  EXPECT_EQ(server_.activity.entries.back().record, "1");
  EXPECT_TRUE(server_.slots().Slot(0).session().SlotDatabaseName.isEmpty());
  // Close without a database still reports and sends nothing.
  client->Send("Close");
  EXPECT_TRUE(Silent(*client));
  EXPECT_EQ(Events("Close"), 2);
  EXPECT_TRUE(server_.activity.entries.back().database.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Engines, BrowseTest, BothEngines(), EngineName);

}  // namespace
}  // namespace corvane::test
