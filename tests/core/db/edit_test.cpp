// Updating, adding and deleting records through the client commands, alone and with a
// second client editing the same records.
#include <QTimer>
#include <functional>
#include <memory>

#include "base/sqlite_database.h"
#include "client/event_wait.h"
#include "db_session_fixture.h"
#include "protocol/socket_state.h"

namespace corvane::test {
namespace {

class EditTest : public EngineSessionTest {
 protected:
  QString NameOf(int id) {
    return Query(QStringLiteral("SELECT name FROM people WHERE id = %1").arg(id)).toString();
  }
  int AgeOf(int id) {
    return Query(QStringLiteral("SELECT age FROM people WHERE id = %1").arg(id)).toInt();
  }
  // Another program's lock on the first person (on a file: on the whole file), until the
  // returned call lifts it.
  std::function<void()> LockFirstPerson() {
    if (IsPostgres()) {
      auto session = std::make_shared<PgSession>();
      session->Exec("BEGIN");
      session->Exec("SELECT id FROM people WHERE id = 1 FOR UPDATE");
      return [session] { session->Exec("COMMIT"); };
    }
    auto file = std::make_shared<SqliteDatabase>();
    EXPECT_EQ(file->Open(path_, SQLITE_OPEN_READWRITE), SQLITE_OK);
    EXPECT_EQ(file->Execute("BEGIN IMMEDIATE"), SQLITE_OK);
    return [file] { file->Execute("COMMIT"); };
  }
};

TEST_P(EditTest, UpdateSkipsTheAutoNumberAndWritesTheOtherFields) {
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

TEST_P(EditTest, AValueShownWithQuestionMarksIsNotOverwrittenByThem) {
  // Enciphered frames cannot carry the byte 0xFF: a stored U+00FF is shown as '?' too.
  server_.settings.EncryptionEnabled = 1;
  auto client = Browsing({"Ann", "Bob"});
  const QString stored = QStringLiteral("L'Ha\u00ff \u65e5\u672c");
  Exec(QStringLiteral("UPDATE people SET name = 'L''Ha\u00ff \u65e5\u672c' WHERE id = 2"));
  // Opened again: a server database's set would show a change made elsewhere only once the
  // records it read ahead are older than their freshness limit.
  Ask(*client, "RequestTheTable", {"0", "0"});
  EXPECT_EQ(Ask(*client, "Next").fields.value(2), "L'Ha? ??");
  // The record sent back as received, with a new age: the name stays as stored.
  Ask(*client, "Update", {"2", "L'Ha? ??", "33"});
  EXPECT_EQ(NameOf(2), stored);
  EXPECT_EQ(AgeOf(2), 33);
  // A stored EOT would split the value in two: it is shown as '?' as well.
  Exec(QStringLiteral("UPDATE people SET name = 'A' || %1(4) || 'B' WHERE id = 1")
           .arg(IsPostgres() ? "chr" : "char"));
  const ClientReply first = Ask(*client, "First");
  EXPECT_EQ(first.fields, (QList<QByteArray>{"1", "1", "A?B", "10"}));
  Ask(*client, "Update", first.fields.mid(1));
  EXPECT_EQ(NameOf(1), QString("A") + QChar(4) + 'B');
}

TEST_P(EditTest, AValueHoldingAControlCharacterIsRefusedAndNothingIsWritten) {
  server_.settings.EncryptionEnabled = 1;
  auto client = Browsing({});
  // "Update" of an empty set adds; an enciphered 0xFF arrives as NUL.
  ExpectRefusedUpdate(*client, {"", "Ha\xFF", "5"}, Message({"Data", "0", "", "", ""}));
  const QByteArray ann = Message({"Data", "1", "1", "Ann", "10"});
  EXPECT_EQ(Ask(*client, "Add", {"", "Ann", "10"}).text, ann);
  ExpectRefusedUpdate(*client, {"1", QByteArray("A\0n", 3), "11"}, ann);
  ExpectRefusedUpdate(*client, {"1", "Ann", "1\x03"}, ann);
  ExpectRefusedUpdate(*client, {"", "B\x02", "20"}, ann, "Add");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM people").toInt(), 1);
  EXPECT_EQ(NameOf(1), "Ann");
  EXPECT_EQ(AgeOf(1), 10);
  EXPECT_EQ(Events("ErrorUpdate") + Events("ErrorAdd"), 4);
  ExpectServed(*client);
}

TEST_P(EditTest, OverlongTextIsCutOnAddAndOnUpdateOfAnEmptyTableButRefusedOnUpdate) {
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

TEST_P(EditTest, UpdateAfterAFailedFindThenDeleteOfTheFirstTheLastAndTheOnlyRecord) {
  auto client = Browsing({"Ann", "Bob", "Cy"});
  // An update after a failed find writes the record the client sees.
  EXPECT_EQ(Ask(*client, "SendTheData").fields.value(2), "Ann");
  EXPECT_EQ(Ask(*client, "FindFirst", {"1", "Nobody"}).word, "NoMatch");
  EXPECT_EQ(Ask(*client, "Update", {"1", "Anne", "10"}).fields.value(2), "Anne");
  EXPECT_EQ(NameOf(1), "Anne");
  EXPECT_EQ(NameOf(3), "Cy");
  EXPECT_EQ(Ask(*client, "Delete").text, Message({"Data", "1", "2", "Bob", "20"}));
  Ask(*client, "Last");
  EXPECT_EQ(Ask(*client, "Delete").text, Message({"Data", "1", "2", "Bob", "20"}));
  EXPECT_EQ(Ask(*client, "Delete").text, Message({"Data", "0", "", "", ""}));
  EXPECT_EQ(Query("SELECT count(*) FROM people").toInt(), 0);
  EXPECT_EQ(Events("Delete"), 3);
  EXPECT_EQ(Ask(*client, "Delete").word, "BOF");
}

TEST_P(EditTest, TheSecondOfTwoClientsEditingTheSameRecordSeesTheConflict) {
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

// Values in a format the server does not read are replaced as they always were, and the
// reply shows what was stored; the operator gets one note per request naming the user, the
// fields and the texts.
TEST_P(EditTest, ValuesNotInTheServersFormatsAreReplacedAndNotedOncePerRequest) {
  Exec(
      "CREATE TABLE stock (id INTEGER PRIMARY KEY AUTOINCREMENT, label VARCHAR(20), "
      "price CURRENCY, since DATETIME, qty INTEGER);"
      "INSERT INTO stock (label, price, since, qty) VALUES ('Bolt', 2.5, "
      "'2026-01-02 03:04:05', 7);");
  Publish({QStringLiteral("stock")});
  auto client = LoggedOn();
  Ask(*client, "RequestTheTable", {"0", "0"});
  EXPECT_EQ(Ask(*client, "SendTheData").fields,
            (QList<QByteArray>{"1", "1", "Bolt", "$2.50", "1/2/2026 3:04:05 AM", "7"}));

  // Sent back untouched, or in the server's own formats: no note.
  Ask(*client, "Update", {"1", "Bolt", "$2.50", "1/2/2026 3:04:05 AM", "7"});
  Ask(*client, "Update", {"1", "Nut", "$1,234.50", "12/6/2026 3:04:05 PM", "8"});
  EXPECT_TRUE(server_.activity.notes.empty());
  EXPECT_EQ(Query("SELECT since FROM stock").toString(), "2026-12-06 15:04:05");

  // A date and an amount in another format, and an empty date: the empty one means "now"
  // on purpose and is not noted.
  const QDate today = QDate::currentDate();
  const ClientReply stored =
      Ask(*client, "Update", {"1", "Nut", "1.234,50 EUR", "6 Dec 2026 15:04:05", "8"});
  EXPECT_EQ(stored.word, "Data");
  EXPECT_EQ(stored.fields.value(3), "$0.00");
  EXPECT_TRUE(stored.fields.value(4).startsWith(
      QLocale(QLocale::English, QLocale::UnitedStates).toString(today, "M/d/yyyy").toLatin1()))
      << stored.fields.value(4).constData();
  ASSERT_EQ(server_.activity.notes.size(), 1u);
  const auto& [user, text] = server_.activity.notes.front();
  EXPECT_EQ(user, "bob");
  EXPECT_TRUE(text.contains("Update of stock")) << text.toStdString();
  EXPECT_TRUE(text.contains("price \"1.234,50 EUR\" stored as 0")) << text.toStdString();
  EXPECT_TRUE(text.contains("since \"6 Dec 2026 15:04:05\" stored as the current date and time"))
      << text.toStdString();
  // The note follows the update's own row.
  EXPECT_EQ(server_.activity.timeline.back(), "note: " + text);
  EXPECT_EQ(server_.activity.timeline[server_.activity.timeline.size() - 2], "Update");

  // An add: a number that is no number is noted, a long text quoted only in part; the
  // empty date is not noted.
  const QByteArray longText(500, 'x');
  Ask(*client, "Add", {"", "Washer", "", "", longText});
  ASSERT_EQ(server_.activity.notes.size(), 2u);
  const QString added = server_.activity.notes.back().second;
  EXPECT_TRUE(added.startsWith("Add of stock")) << added.toStdString();
  EXPECT_TRUE(added.contains("qty \"xxxxx")) << added.toStdString();
  EXPECT_FALSE(added.contains("since")) << added.toStdString();
  EXPECT_LT(added.size(), 200);

  // A failed update stores nothing and notes nothing.
  const QByteArray since = Ask(*client, "SendTheData").fields.value(4);
  ExpectRefusedUpdate(*client, {"2", QByteArray(30, 'y'), "abc", since, "0"},
                      Message({"Data", "2", "2", "Washer", "$0.00", since, "0"}));
  EXPECT_EQ(server_.activity.notes.size(), 2u);
}

// A client that leaves right after sending an update: the update is carried out and the slot
// let go when it is done. The same client logging on again at once waits for that update, so
// its first read shows it and the closed connection never counts as the user's other logon;
// in every other round another program's lock holds the update up for a while.
TEST_P(EditTest, AnUpdateSentJustBeforeTheClientLeavesIsReadWhenItLogsOnAgainAtOnce) {
  server_.settings.AllowMultipleLogons = 0;
  auto client = Browsing({"Ann", "Bob"});
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    const QByteArray name = "Ann" + QByteArray::number(round);
    if (round % 2 == 0) QTimer::singleShot(200, LockFirstPerson());
    client->Send("Update", {"1", name, "11"});
    client->Close();
    client = Connected();
    const auto logon = client->Logon("bob", "secret", 12345678);
    ASSERT_TRUE(logon);
    ASSERT_EQ(logon->word, "Accepted");
    ASSERT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).word, "Fields");
    EXPECT_EQ(Ask(*client, "First").fields.value(2), name);
  }
  // A lock that outlasts the logon's wait: the logon is accepted all the same.
  const std::function<void()> unlock = LockFirstPerson();
  client->Send("Update", {"1", "Zed", "11"});
  client->Close();
  client = ConnectedClient(server_.port(), 10000);
  EXPECT_EQ(client->Logon("bob", "secret", 12345678)->word, "Accepted");
  unlock();
  EXPECT_TRUE(WaitUntil([&] { return NameOf(1) == "Zed" && Events("Logoff") == 11; }, 5000));
  EXPECT_EQ(Events("Update"), 11);
  EXPECT_EQ(Events("MultipleUsers"), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, EditTest, BothEngines(), EngineName);

}  // namespace
}  // namespace corvane::test
