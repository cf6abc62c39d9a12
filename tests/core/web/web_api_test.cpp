#include <QCoreApplication>
#include <QTcpSocket>

#include "core/web/web_fixture.h"
#include "protocol/socket_state.h"

namespace corvane::test {
namespace {

TEST_F(WebApiTest, LogonTakesASlotShownAmongCurrentUsers) {
  const QString token = LogOn();
  ASSERT_FALSE(token.isEmpty());
  EXPECT_EQ(last_.body.value(QStringLiteral("user")).toString(), QStringLiteral("bob"));
  EXPECT_EQ(server_.slots().ConnectedCount(), 1);
  server_.slots().RefreshStatus();
  ASSERT_EQ(server_.slots().CurrentUsers().rowCount(), 1);
  EXPECT_EQ(server_.slots().Status().users, QStringLiteral("Users: 1"));
  const SlotSession& session = server_.slots().Slot(0).session;
  EXPECT_EQ(session.SlotUserName, QStringLiteral("bob"));
  EXPECT_EQ(session.SlotRemoteAddress, QStringLiteral("192.0.2.7"));
  EXPECT_EQ(Events("Logon"), 1);
  EXPECT_EQ(api_->Session(token).body.value(QStringLiteral("loggedOn")).toBool(), true);
}

TEST_F(WebApiTest, FailedLogonsMakeTheAddressWaitLongerEachTime) {
  EXPECT_TRUE(LogOn(QStringLiteral("bob"), QStringLiteral("wrong")).isEmpty());
  EXPECT_EQ(last_.status, 401);
  EXPECT_EQ(last_.body.value(QStringLiteral("error")).toString(), QStringLiteral("PassDenied"));
  EXPECT_EQ(Events("PassDenied"), 1);
  // The refused slot is given back at once.
  EXPECT_EQ(server_.slots().ConnectedCount(), 0);
  EXPECT_EQ(Events("Logoff"), 1);

  EXPECT_TRUE(LogOn().isEmpty());
  EXPECT_EQ(last_.status, 429);
  now_ += 999;
  EXPECT_TRUE(LogOn().isEmpty());
  now_ += 1;
  EXPECT_TRUE(LogOn(QStringLiteral("nobody"), QStringLiteral("x")).isEmpty());
  EXPECT_EQ(last_.body.value(QStringLiteral("error")).toString(), QStringLiteral("UserDenied"));
  // Second failure: two seconds.
  now_ += 1999;
  EXPECT_TRUE(LogOn().isEmpty());
  EXPECT_EQ(last_.status, 429);
  // Another address is not held up.
  EXPECT_FALSE(
      LogOn(QStringLiteral("ann"), QStringLiteral("pw"), QStringLiteral("192.0.2.8")).isEmpty());
  now_ += 1;
  EXPECT_FALSE(LogOn().isEmpty());
  // Accepted: the count starts again.
  EXPECT_TRUE(LogOn(QStringLiteral("bob"), QStringLiteral("bad")).isEmpty());
  now_ += 1000;
  EXPECT_FALSE(LogOn().isEmpty());
}

TEST_F(WebApiTest, BrowsesAndSavesThroughTheClientCommands) {
  const QString token = LogOn();
  EXPECT_EQ(RunOne(token, QStringLiteral("ThankYou")), QStringList{"Databases|shop.db"});
  EXPECT_EQ(RunOne(token, QStringLiteral("RequestTables"), {"0"}), QStringList{"Tables|people"});
  EXPECT_EQ(RunOne(token, QStringLiteral("RequestTheTable"), {"0", "0"}),
            QStringList{"Fields|3|id|name|age"});
  const QList<QStringList> moves =
      Run(token, {Command("Last"), Command("Prev"), Command("First"), Command("Prev")});
  ASSERT_EQ(moves.size(), 4);
  EXPECT_EQ(moves[0], QStringList{"Data|3|3|Cy|30"});
  EXPECT_EQ(moves[1], QStringList{"Data|2|2|Bob|20"});
  EXPECT_EQ(moves[2], QStringList{"Data|1|1|Ann|10"});
  EXPECT_EQ(moves[3], QStringList{"BOF"});
  EXPECT_EQ(RunOne(token, QStringLiteral("Last")), QStringList{"Data|3|3|Cy|30"});
  EXPECT_EQ(RunOne(token, QStringLiteral("Update"), {"3", "Cyd", "31"}),
            QStringList{"Data|3|3|Cyd|31"});
  EXPECT_EQ(Query(QStringLiteral("SELECT name || age FROM people WHERE id = 3")).toString(),
            QStringLiteral("Cyd31"));
  server_.slots().RefreshStatus();
  EXPECT_EQ(server_.slots().Slot(0).session.SlotObjectName, QStringLiteral("people"));
}

TEST_F(WebApiTest, AddsDeletesFindsSortsAndQueries) {
  const QString token = LogOn();
  RunOne(token, QStringLiteral("RequestTheTable"), {"0", "0"});
  EXPECT_EQ(RunOne(token, QStringLiteral("Add"), {"", "Dee", "40"}),
            QStringList{"Data|4|4|Dee|40"});
  EXPECT_EQ(Query(QStringLiteral("SELECT COUNT(*) FROM people")).toInt(), 4);
  EXPECT_EQ(RunOne(token, QStringLiteral("Delete")), QStringList{"Data|3|3|Cy|30"});
  EXPECT_EQ(Query(QStringLiteral("SELECT COUNT(*) FROM people")).toInt(), 3);
  EXPECT_EQ(RunOne(token, QStringLiteral("FindFirst"), {"1", "Bob"}),
            QStringList{"Found|2|2|2|Bob|20"});
  EXPECT_EQ(RunOne(token, QStringLiteral("FindFirst"), {"0", "Zed"}), QStringList{"NoMatch"});
  EXPECT_EQ(RunOne(token, QStringLiteral("Sort"), {"age DESC"}), QStringList{"Data|1|3|Cy|30"});

  EXPECT_EQ(RunOne(token, QStringLiteral("RequestTheFieldsWiz"), {"0", "0"}),
            QStringList{"FieldsWiz|id|name|age"});
  EXPECT_EQ(RunOne(token, QStringLiteral("CreateQuery"),
                   {"Older", "SELECT [name] FROM [people] WHERE [age] > 15"}),
            QStringList{"FieldsCreateQuery|2|name"});
  const QList<QStringList> rows =
      Run(token, {Command("SendQueryData"), Command("SendQueryData"), Command("SendQueryData")});
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[0], QStringList{"QueryData|Bob"});
  EXPECT_EQ(rows[1], QStringList{"QueryData|Cy"});
  EXPECT_EQ(rows[2], QStringList{"EndQuery"});
  const QStringList saved = RunOne(token, QStringLiteral("SaveQuery"), {"0"});
  ASSERT_FALSE(saved.isEmpty());
  EXPECT_TRUE(saved.front().startsWith(QStringLiteral("Fields|2|name")))
      << saved.join(QLatin1Char(';')).toStdString();
  EXPECT_TRUE(RunOne(token, QStringLiteral("RequestQuery"), {"0"})
                  .front()
                  .contains(QStringLiteral("Older")));
}

TEST_F(WebApiTest, TheLastCharacterOfTheCodePageIsAnOrdinaryCharacter) {
  const QString token = LogOn();
  RunOne(token, QStringLiteral("RequestTheTable"), {"0", "0"});
  const QString name = QStringLiteral("Zo\u00ff");
  EXPECT_EQ(RunOne(token, QStringLiteral("Update"), {"1", name, "10"}),
            QStringList{QStringLiteral("Data|1|1|Zo\u00ff|10")});
  EXPECT_EQ(Query(QStringLiteral("SELECT name FROM people WHERE id = 1")).toString(), name);
}

TEST_F(WebApiTest, WebAndTcpClientsSeeEachOthersSavedChanges) {
  const QString token = LogOn();
  auto tcp = LoggedOn("ann", "pw", 23456789);
  RunOne(token, QStringLiteral("RequestTheTable"), {"0", "0"});
  Ask(*tcp, "RequestTheTable", {"0", "0"});

  EXPECT_EQ(RunOne(token, QStringLiteral("Update"), {"1", "Anna", "11"}),
            QStringList{"Data|1|1|Anna|11"});
  EXPECT_EQ(Ask(*tcp, "First").text, Message({"Data", "1", "1", "Anna", "11"}));

  EXPECT_EQ(Ask(*tcp, "Next").text, Message({"Data", "2", "2", "Bob", "20"}));
  EXPECT_EQ(Ask(*tcp, "Update", {"2", "Rob", "21"}).text, Message({"Data", "2", "2", "Rob", "21"}));
  EXPECT_EQ(RunOne(token, QStringLiteral("Next")), QStringList{"Data|2|2|Rob|21"});

  server_.slots().RefreshStatus();
  EXPECT_EQ(server_.slots().CurrentUsers().rowCount(), 2);
}

TEST_F(WebApiTest, OnlyTheClientCommandsWithCleanFieldsRun) {
  const QString token = LogOn();
  const size_t events = server_.activity.events.size();
  Run(token, {Command("ThankYou"), Command("Logon", {"ann", "pw", "x"})});
  EXPECT_EQ(last_.status, 400);
  Run(token, {Command("RequestTables", {QStringLiteral("0\u0004")})});
  EXPECT_EQ(last_.status, 400);
  Run(token, {});
  EXPECT_EQ(last_.status, 400);
  // A text a handheld could not be shown is refused, saying why.
  Run(token, {Command("FindFirst", {"0", QStringLiteral("\u65e5\u672c")})});
  EXPECT_EQ(last_.status, 400);
  EXPECT_TRUE(last_.body.value(QStringLiteral("error")).toString().contains("Windows-1252"));
  // Nothing of a refused request ran.
  EXPECT_EQ(server_.activity.events.size(), events);
  EXPECT_EQ(RunOne(QStringLiteral("0123abcd"), QStringLiteral("ThankYou")), QStringList());
  EXPECT_EQ(last_.status, 401);
  EXPECT_EQ(RunOne(QString(), QStringLiteral("ThankYou")), QStringList());
  EXPECT_EQ(last_.status, 401);
}

TEST_F(WebApiTest, ASessionEndsWithItsSlot) {
  const QString first = LogOn();
  server_.slots().FreeEverySlot(FreeReason::kDisconnectAll);
  EXPECT_EQ(RunOne(first, QStringLiteral("ThankYou")), QStringList());
  EXPECT_EQ(last_.status, 401);
  EXPECT_FALSE(last_.body.value(QStringLiteral("loggedOn")).toBool());

  // The slot goes to the next browser; the old token does not reach it.
  const QString second = LogOn(QStringLiteral("ann"), QStringLiteral("pw"));
  ASSERT_FALSE(second.isEmpty());
  EXPECT_EQ(server_.slots().SlotState(0), kSocketConnected);
  EXPECT_EQ(RunOne(first, QStringLiteral("ThankYou")), QStringList());
  EXPECT_EQ(RunOne(second, QStringLiteral("ThankYou")), QStringList{"Databases|shop.db"});

  server_.settings.InactivityLimit = 1;
  server_.slots().CheckInactivity();
  server_.slots().CheckInactivity();
  EXPECT_EQ(RunOne(second, QStringLiteral("ThankYou")), QStringList());
  EXPECT_EQ(last_.status, 401);
}

TEST_F(WebApiTest, LogoffFreesTheSlot) {
  const QString token = LogOn();
  const WebAnswer answer = api_->Logoff(token);
  EXPECT_EQ(answer.sessionToken, QString());
  EXPECT_EQ(Events("Logoff"), 1);
  EXPECT_EQ(server_.slots().ConnectedCount(), 0);
  EXPECT_EQ(RunOne(token, QStringLiteral("ThankYou")), QStringList());
  EXPECT_EQ(last_.status, 401);
}

TEST_F(WebApiTest, AFailedCommandEndsTheLogonAsForAnyClient) {
  const QString token = LogOn();
  EXPECT_EQ(RunOne(token, QStringLiteral("RequestTheTable"), {"0", "7"}).value(0),
            QStringLiteral("ErrorDB|Subscript out of range"));
  EXPECT_FALSE(last_.body.value(QStringLiteral("loggedOn")).toBool());
  EXPECT_EQ(last_.sessionToken, QString());
  // Closed at the next refresh, like a TCP connection without a logon.
  server_.slots().RefreshStatus();
  EXPECT_EQ(server_.slots().ConnectedCount(), 0);
}

TEST_F(WebApiTest, StoppingWebAccessFreesEveryWebSlot) {
  const QString kept = LogOn();
  const QString failed = LogOn();
  RunOne(failed, QStringLiteral("RequestTheTable"), {"0", "7"});
  auto tcp = LoggedOn("ann", "pw", 23456789);
  EXPECT_EQ(server_.slots().ConnectedCount(), 3);
  api_.reset();
  // The TCP client stays; both browser slots go, the one without a logon too.
  EXPECT_EQ(server_.slots().ConnectedCount(), 1);
  EXPECT_EQ(Events("Logoff"), 2);
}

TEST_F(WebApiTest, ObeysTheMultipleConnectionsSetting) {
  server_.settings.AllowMultipleLogons = 0;
  auto tcp = LoggedOn();
  EXPECT_TRUE(LogOn().isEmpty());
  EXPECT_EQ(last_.status, 409);
  EXPECT_EQ(last_.body.value(QStringLiteral("error")).toString(), QStringLiteral("MultipleUsers"));
  // Not a failed password: no waiting.
  EXPECT_FALSE(LogOn(QStringLiteral("ann"), QStringLiteral("pw")).isEmpty());
}

TEST_F(WebApiTest, WorksWithEncryptionOn) {
  server_.settings.EncryptionEnabled = 1;
  server_.slots().RenewKeySeed();
  const QString token = LogOn();
  ASSERT_FALSE(token.isEmpty());
  EXPECT_NE(server_.slots().Slot(0).session.SessionKey, 0);
  EXPECT_EQ(RunOne(token, QStringLiteral("RequestTheTable"), {"0", "0"}),
            QStringList{"Fields|3|id|name|age"});
  EXPECT_EQ(RunOne(token, QStringLiteral("Last")), QStringList{"Data|3|3|Cy|30"});
}

TEST_F(WebApiTest, WebSessionsCountTowardTheHundredSlots) {
  for (int i = 0; i < kSlotCount; ++i) ASSERT_FALSE(LogOn().isEmpty()) << i;
  EXPECT_TRUE(LogOn().isEmpty());
  EXPECT_EQ(last_.status, 503);
  QTcpSocket socket;
  socket.connectToHost(server_.host(), server_.port());
  ASSERT_TRUE(socket.waitForConnected(3000));
  // The TCP handshake finds no slot either: port 0.
  QByteArray redirect;
  for (int i = 0; i < 50 && !redirect.contains("\x03\x03\x03"); ++i) {
    QCoreApplication::processEvents();
    socket.waitForReadyRead(50);
    redirect += socket.readAll();
  }
  EXPECT_EQ(redirect, QByteArray("\x04"
                                 "0\x04\x03\x03\x03"));
}

}  // namespace
}  // namespace corvane::test
