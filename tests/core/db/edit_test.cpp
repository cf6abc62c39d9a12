// Updating, adding and deleting records through the client commands, alone and with a
// second client editing the same records.
#include "db_session_fixture.h"

namespace corvane::test {
namespace {

class EditTest : public DbSessionTest {
 protected:
  QString NameOf(int id) {
    return Query(QStringLiteral("SELECT name FROM people WHERE id = %1").arg(id)).toString();
  }
  int AgeOf(int id) {
    return Query(QStringLiteral("SELECT age FROM people WHERE id = %1").arg(id)).toInt();
  }
};

TEST_F(EditTest, UpdateSkipsTheAutoNumberAndWritesTheOtherFields) {
  auto client = Browsing({"Ann", "Bob"});
  Ask(*client, "Next");
  EXPECT_EQ(Ask(*client, "Update", {"77", "  Bea  ", "42"}).text,
            Message({"Data", "2", "2", "Bea", "42"}));
  EXPECT_EQ(NameOf(2), "Bea");
  EXPECT_EQ(AgeOf(2), 42);
  EXPECT_FALSE(Query("SELECT 1 FROM people WHERE id = 77").isValid());
  EXPECT_EQ(Events("Update"), 1);
  // Blanks only store Null; a text that is no number stores 0.
  Ask(*client, "Update", {"2", "   ", "12abc"});
  EXPECT_FALSE(Query("SELECT name FROM people WHERE id = 2").isValid());
  EXPECT_EQ(AgeOf(2), 0);
}

TEST_F(EditTest, AValueShownWithQuestionMarksIsNotOverwrittenByThem) {
  auto client = Browsing({"Ann", "Bob"});
  Exec(QString::fromUtf8("UPDATE people SET name = '\u65e5\u672c' WHERE id = 2"));
  EXPECT_EQ(Ask(*client, "Next").fields.value(2), "??");
  // The record sent back as received, with a new age: the name stays as stored.
  Ask(*client, "Update", {"2", "??", "33"});
  EXPECT_EQ(NameOf(2), QString::fromUtf8("\u65e5\u672c"));
  EXPECT_EQ(AgeOf(2), 33);
}

TEST_F(EditTest, OverlongTextIsCutOnAddAndOnUpdateOfAnEmptyTableButRefusedOnUpdate) {
  auto client = Browsing({});
  // Update with nothing to update adds the record.
  EXPECT_EQ(Ask(*client, "Update", {"", "Alexandrina", "5"}).text,
            Message({"Data", "1", "1", "Alexandrin", "5"}));
  EXPECT_EQ(Events("Add"), 1);
  EXPECT_EQ(Ask(*client, "Add", {"", "Bartholomew", "20"}).text,
            Message({"Data", "2", "2", "Bartholome", "20"}));
  // The record as stored comes back: nothing of the failed update.
  ExpectRefusedUpdate(*client, {"2", "Bartholomew", "21"},
                      Message({"Data", "2", "2", "Bartholome", "20"}));
  EXPECT_EQ(AgeOf(2), 20);
  EXPECT_EQ(Events("ErrorUpdate"), 1);
  // Too few values save nothing either.
  Ask(*client, "First");
  ExpectRefusedUpdate(*client, {"1", "Zed"}, Message({"Data", "1", "1", "Alexandrin", "5"}));
}

TEST_F(EditTest, DeleteOfTheFirstTheLastAndTheOnlyRecord) {
  auto client = Browsing({"Ann", "Bob", "Cy"});
  EXPECT_EQ(Ask(*client, "Delete").text, Message({"Data", "1", "2", "Bob", "20"}));
  Ask(*client, "Last");
  EXPECT_EQ(Ask(*client, "Delete").text, Message({"Data", "1", "2", "Bob", "20"}));
  EXPECT_EQ(Ask(*client, "Delete").text, Message({"Data", "0", "", "", ""}));
  EXPECT_EQ(Query("SELECT count(*) FROM people").toInt(), 0);
  EXPECT_EQ(Events("Delete"), 3);
  EXPECT_EQ(Ask(*client, "Delete").word, "BOF");
}

TEST_F(EditTest, TheSecondOfTwoClientsEditingTheSameRecordSeesTheConflict) {
  auto first = Browsing({"Ann", "Bob"});
  auto second = LoggedOn("ann", "pw", 23456789);
  Ask(*second, "RequestTheTable", {"0", "0"});
  EXPECT_EQ(Ask(*first, "Update", {"1", "Anna", "10"}).fields.value(2), "Anna");
  // Refused with the record as it now stands, with the other client's change.
  ExpectRefusedUpdate(*second, {"1", "Annie", "11"}, Message({"Data", "1", "1", "Anna", "10"}));
  EXPECT_EQ(server_.activity.entries.back().errorNumber, 3197);
  // Having seen it, the second client can edit again.
  EXPECT_EQ(Ask(*second, "Update", {"1", "Annie", "11"}).fields.value(2), "Annie");
  EXPECT_EQ(NameOf(1), "Annie");

  // "Next" bounces off the end and reads the last record again without sending it: a
  // change made meanwhile is still a conflict.
  EXPECT_EQ(Ask(*first, "Last").fields.value(2), "Bob");
  Ask(*second, "Last");
  Ask(*second, "Update", {"2", "Bobby", "20"});
  EXPECT_EQ(Ask(*first, "Next").word, "EOF");
  ExpectRefusedUpdate(*first, {"2", "Rob", "20"}, Message({"Data", "2", "2", "Bobby", "20"}));
}

TEST_F(EditTest, UpdateAfterAFailedFindWritesTheRecordTheClientSees) {
  auto client = Browsing({"Ann", "Bob", "Cy"});
  EXPECT_EQ(Ask(*client, "SendTheData").fields.value(2), "Ann");
  EXPECT_EQ(Ask(*client, "FindFirst", {"1", "Nobody"}).word, "NoMatch");
  EXPECT_EQ(Ask(*client, "Update", {"1", "Anne", "10"}).fields.value(2), "Anne");
  EXPECT_EQ(NameOf(1), "Anne");
  EXPECT_EQ(NameOf(3), "Cy");
}

}  // namespace
}  // namespace corvane::test
