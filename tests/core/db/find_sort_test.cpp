// Finding by the client's texts, and sorting the open table.
#include "db_session_fixture.h"

namespace corvane::test {
namespace {

class FindSortTest : public EngineSessionTest {
 protected:
  void SetUp() override {
    EngineSessionTest::SetUp();
    if (IsSkipped()) return;
    Exec(
        "CREATE TABLE people (id INTEGER PRIMARY KEY AUTOINCREMENT, first VARCHAR(20), "
        "last VARCHAR(20));"
        "INSERT INTO people (first, last) VALUES ('Ann', 'Jones'), ('Bob', 'Smithers'), "
        "('Cy', 'Hudson'), ('Di', 'Smith'), ('Ed', 'Carson'), ('Flo', 'Dean');"
        // Read-only: its criteria name the set's own columns, not the table's.
        "CREATE VIEW nicknames AS SELECT first AS nick, last || '!' AS loud FROM people");
    Publish({"people"}, {"nicknames"});
    client_ = LoggedOn();
    Ask(*client_, "RequestTheTable", {"0", "0"});
  }
  std::unique_ptr<CorvaneClient> client_;
};

TEST_P(FindSortTest, FindsMatchBeginningsThenEndingsAndSortsOrderTheTableAgainEachTime) {
  EXPECT_EQ(Ask(*client_, "FindFirst", {"0", "Smi"}).text,
            Message({"Found", "3", "2", "2", "Bob", "Smithers"}));
  EXPECT_EQ(Events("Retrieve"), 1);
  EXPECT_EQ(Ask(*client_, "FindNext", {"0", "Smi"}).text,
            Message({"Found", "3", "4", "4", "Di", "Smith"}));
  EXPECT_EQ(Ask(*client_, "FindNext", {"0", "Smi"}).word, "NoMatch");
  // Endings are the second pass; never in the middle of a value.
  EXPECT_EQ(Ask(*client_, "FindFirst", {"0", "son"}).fields.value(4), "Hudson");
  EXPECT_EQ(Ask(*client_, "FindNext", {"0", "son"}).fields.value(4), "Carson");
  EXPECT_EQ(Ask(*client_, "FindFirst", {"0", "mit"}).word, "NoMatch");
  EXPECT_EQ(Ask(*client_, "FindFirst", {"1", "Smi"}).word, "NoMatch");
  EXPECT_EQ(Ask(*client_, "FindFirst", {"1", "Smith"}).fields.value(1), "4");
  // Sort orders the opened table again each time, and the set stays editable.
  EXPECT_EQ(Ask(*client_, "Sort", {"last"}).text, Message({"Data", "1", "5", "Ed", "Carson"}));
  EXPECT_EQ(Events("Sort"), 1);
  EXPECT_EQ(Ask(*client_, "Next").fields.value(3), "Dean");
  EXPECT_EQ(Ask(*client_, "Sort", {"first DESC"}).fields.value(2), "Flo");
  EXPECT_EQ(Ask(*client_, "Update", {"6", "Florence", "Dean"}).fields.value(2), "Florence");
  EXPECT_EQ(Query("SELECT first FROM people WHERE id = 6").toString(), "Florence");
}

TEST_P(FindSortTest, UnknownNamesFallBackToAScanOfTheTextsTheClientSees) {
  Ask(*client_, "RequestTheQuery", {"0", "0"});
  if (IsPostgres()) {
    // A server database's view names its own columns, so its criteria work and the find
    // matches beginnings and endings as on a table.
    EXPECT_EQ(Ask(*client_, "FindFirst", {"0", "mith"}).word, "NoMatch");
    EXPECT_EQ(Ask(*client_, "FindFirst", {"0", "smith"}).text,
              Message({"Found", "2", "2", "Bob", "Smithers!"}));
    EXPECT_EQ(Ask(*client_, "FindNext", {"0", "smith"}).fields.value(3), "Smith!");
    return;
  }
  EXPECT_EQ(Ask(*client_, "FindFirst", {"0", "mith"}).text,
            Message({"Found", "2", "2", "Bob", "Smithers!"}));
  EXPECT_EQ(Ask(*client_, "FindNext", {"0", "mith"}).fields.value(3), "Smith!");
  EXPECT_EQ(Ask(*client_, "FindNext", {"0", "mith"}).word, "NoMatch");
  // A scan that finds nothing leaves the cursor where it began.
  EXPECT_EQ(Ask(*client_, "SendTheData").fields.value(0), "5");
  EXPECT_EQ(Ask(*client_, "FindFirst", {"1", "smith!"}).fields.value(1), "4");
}

TEST_P(FindSortTest, AnApostropheIsAnErrorAndAFailedSortLeavesNoSet) {
  // The second would otherwise close the quoted text and find any record by its own terms.
  for (const char* text : {"O'Brien", "zz' OR id > 0 OR first Like 'zz"}) {
    const ClientReply reply = Ask(*client_, "FindFirst", {"0", text});
    EXPECT_EQ(reply.word, "ErrorUpdate") << text;
    EXPECT_FALSE(reply.fields.value(0).isEmpty());
  }
  EXPECT_EQ(Events("ErrorFind"), 2);
  EXPECT_EQ(Ask(*client_, "SendTheData").word, "Data");
  const ClientReply reply = Ask(*client_, "Sort", {"nosuch"});
  EXPECT_EQ(reply.word, "ErrorUpdate");
  EXPECT_EQ(Events("ErrorSort"), 1);
  EXPECT_EQ(Ask(*client_, "Next").word, "ErrorDB");
}

INSTANTIATE_TEST_SUITE_P(Engines, FindSortTest, BothEngines(), EngineName);

}  // namespace
}  // namespace corvane::test
