#include "db_session_fixture.h"

namespace corvane::test {
namespace {

class FindSortTest : public DbSessionTest {
 protected:
  void SetUp() override {
    DbSessionTest::SetUp();
    Exec(
        QStringLiteral("CREATE TABLE people (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "first VARCHAR(20), last VARCHAR(20))"));
    Exec(
        QStringLiteral("INSERT INTO people (first, last) VALUES ('Ann', 'Jones'), "
                       "('Bob', 'Smithers'), ('Cy', 'Hudson'), ('Di', 'Smith'), "
                       "('Ed', 'Carson'), ('Flo', 'Dean')"));
    // Read-only: its criteria name the set's own columns, not the table's.
    Exec(
        QStringLiteral("CREATE VIEW nicknames AS SELECT first AS nick, last || '!' AS loud "
                       "FROM people"));
    Publish({QStringLiteral("people")}, {QStringLiteral("nicknames")});
    client_ = LoggedOn();
    Ask(*client_, "RequestTheTable", {"0", "0"});
  }
  std::unique_ptr<CorvaneClient> client_;
};

TEST_F(FindSortTest, BeginsWithFindsTheFirstMatchingFieldInFieldOrder) {
  EXPECT_EQ(Ask(*client_, "FindFirst", {"0", "Smi"}).text,
            Message({"Found", "3", "2", "2", "Bob", "Smithers"}));
  EXPECT_EQ(Events("Retrieve"), 1);
  EXPECT_EQ(Ask(*client_, "FindNext", {"0", "Smi"}).text,
            Message({"Found", "3", "4", "4", "Di", "Smith"}));
  EXPECT_EQ(Ask(*client_, "FindNext", {"0", "Smi"}).word, "NoMatch");
}

TEST_F(FindSortTest, EndsWithIsTheSecondPassAndExactMatchesWholeValues) {
  EXPECT_EQ(Ask(*client_, "FindFirst", {"0", "son"}).fields.mid(0, 3),
            (QList<QByteArray>{"3", "3", "3"}));  // Hudson
  EXPECT_EQ(Ask(*client_, "FindNext", {"0", "son"}).fields.value(4), "Carson");
  EXPECT_EQ(Ask(*client_, "FindFirst", {"1", "Smi"}).word, "NoMatch");
  EXPECT_EQ(Ask(*client_, "FindFirst", {"1", "Smith"}).fields.value(1), "4");
  // Never in the middle of a value.
  EXPECT_EQ(Ask(*client_, "FindFirst", {"0", "mit"}).word, "NoMatch");
}

TEST_F(FindSortTest, AnApostropheIsASyntaxErrorAndAFailedSortLeavesNoSet) {
  ClientReply reply = Ask(*client_, "FindFirst", {"0", "O'Brien"});
  EXPECT_EQ(reply.word, "ErrorUpdate");
  EXPECT_FALSE(reply.fields.value(0).isEmpty());
  EXPECT_EQ(Events("ErrorFind"), 1);
  // The session goes on.
  EXPECT_EQ(Ask(*client_, "SendTheData").word, "Data");
  // A failed sort leaves no set to browse.
  reply = Ask(*client_, "Sort", {"nosuch"});
  EXPECT_EQ(reply.word, "ErrorUpdate");
  EXPECT_FALSE(reply.fields.value(0).isEmpty());
  EXPECT_EQ(Events("ErrorSort"), 1);
  EXPECT_EQ(Ask(*client_, "Next").word, "ErrorDB");
  EXPECT_EQ(Events("ErrorCommand"), 1);
}

TEST_F(FindSortTest, UnknownNamesFallBackToTheScan) {
  Ask(*client_, "RequestTheQuery", {"0", "0"});
  // The scan looks anywhere in the value texts the client sees.
  EXPECT_EQ(Ask(*client_, "FindFirst", {"0", "mith"}).text,
            Message({"Found", "2", "2", "Bob", "Smithers!"}));
  EXPECT_EQ(Ask(*client_, "FindNext", {"0", "mith"}).text,
            Message({"Found", "2", "4", "Di", "Smith!"}));
  EXPECT_EQ(Ask(*client_, "FindNext", {"0", "mith"}).word, "NoMatch");
  // A scan that finds nothing leaves the cursor where it began.
  EXPECT_EQ(Ask(*client_, "SendTheData").fields.value(0), "5");
  EXPECT_EQ(Ask(*client_, "FindFirst", {"1", "smith!"}).fields.value(1), "4");
  EXPECT_EQ(Events("Retrieve"), 3);
}

TEST_F(FindSortTest, SortOrdersTheOpenedTableAgainEachTime) {
  EXPECT_EQ(Ask(*client_, "Sort", {"last"}).text, Message({"Data", "1", "5", "Ed", "Carson"}));
  EXPECT_EQ(Events("Sort"), 1);
  EXPECT_EQ(Ask(*client_, "Next").fields.value(3), "Dean");
  EXPECT_EQ(Ask(*client_, "Sort", {"first DESC"}).fields.value(2), "Flo");
  // The sorted view of a table can still be edited.
  EXPECT_EQ(Ask(*client_, "Update", {"6", "Florence", "Dean"}).fields.value(2), "Florence");
  EXPECT_EQ(Query(QStringLiteral("SELECT first FROM people WHERE id = 6")).toString(), "Florence");
}

}  // namespace
}  // namespace corvane::test
