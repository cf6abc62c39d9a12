// The web interface as a browser's requests reach it: logons, client commands run as JSON,
// and sessions that live and end with their slots.
#include "transport/web/web_api.h"

#include <QJsonArray>
#include <QJsonObject>

#include "client/event_wait.h"
#include "core/db/db_session_fixture.h"
#include "protocol/socket_state.h"
#include "transport/web/web_limits.h"

namespace corvane::test {
namespace {

class WebApiTest : public DbSessionTest {
 protected:
  void SetUp() override {
    DbSessionTest::SetUp();
    MakePeople(path_, {"Ann", "Bob", "Cy"});
    Publish({"people"});
    api_ = std::make_unique<WebApi>(server_.slots(), 8080);
  }
  void TearDown() override { api_.reset(); }

  // Logs on from `address`; the session token, empty when refused.
  QString LogOn(const QString& user = "bob", const QString& password = "secret",
                const QString& address = "192.0.2.7") {
    last_ = Await([&](WebApi::Answer answer) {
      api_->Logon(address, {{"user", user}, {"password", password}}, std::move(answer));
    });
    return last_.sessionToken.value_or(QString());
  }
  static QJsonObject Command(const QString& word, const QStringList& fields = {}) {
    return {{"command", word}, {"fields", QJsonArray::fromStringList(fields)}};
  }
  // Runs the commands; the replies of each, as "Word|field|field".
  QList<QStringList> Run(const QString& token, const QList<QJsonObject>& commands) {
    QJsonArray list;
    for (const QJsonObject& command : commands) list.append(command);
    last_ = Await([&](WebApi::Answer answer) {
      api_->Run(token, {{"commands", list}}, std::move(answer));
    });
    QList<QStringList> result;
    for (const QJsonValue& perCommand : last_.body.value("replies").toArray()) {
      QStringList texts;
      for (const QJsonValue& reply : perCommand.toArray()) {
        QStringList parts{reply["word"].toString()};
        for (const QJsonValue& field : reply["fields"].toArray()) parts << field.toString();
        texts << parts.join('|');
      }
      result << texts;
    }
    return result;
  }
  QStringList RunOne(const QString& token, const QString& word, const QStringList& fields = {}) {
    const QList<QStringList> replies = Run(token, {Command(word, fields)});
    return replies.isEmpty() ? QStringList() : replies.front();
  }
  QString Error() const { return last_.body.value("error").toString(); }
  // A call's answer, once the commands it runs are done.
  template <typename Call>
  WebAnswer Await(Call call) {
    std::optional<WebAnswer> answer;
    call([&answer](WebAnswer given) { answer = std::move(given); });
    EXPECT_TRUE(WaitUntil([&] { return answer.has_value(); }, 5000));
    return answer.value_or(WebAnswer{});
  }

  WebAnswer last_;
  std::unique_ptr<WebApi> api_;
};

TEST_F(WebApiTest, BrowsesEditsFindsAndQueriesThroughTheClientCommands) {
  const QString token = LogOn();
  EXPECT_EQ(RunOne(token, "ThankYou"), QStringList{"Databases|shop.db"});
  EXPECT_EQ(RunOne(token, "RequestTheTable", {"0", "0"}), QStringList{"Fields|3|id|name|age"});
  const QList<QStringList> moves =
      Run(token, {Command("Last"), Command("Prev"), Command("First"), Command("Prev")});
  EXPECT_EQ(moves, (QList<QStringList>{
                       {"Data|3|3|Cy|30"}, {"Data|2|2|Bob|20"}, {"Data|1|1|Ann|10"}, {"BOF"}}));
  EXPECT_EQ(RunOne(token, "Add", {"", "Dee", "40"}), QStringList{"Data|4|4|Dee|40"});
  EXPECT_EQ(RunOne(token, "Delete"), QStringList{"Data|3|3|Cy|30"});
  EXPECT_EQ(Query("SELECT group_concat(name || age) FROM people").toString(), "Ann10,Bob20,Cy30");
  EXPECT_EQ(RunOne(token, "FindFirst", {"1", "Bob"}), QStringList{"Found|2|2|2|Bob|20"});
  EXPECT_EQ(RunOne(token, "CreateQuery", {"Older", "SELECT [name] FROM [people] WHERE [age] > 15"}),
            QStringList{"FieldsCreateQuery|2|name"});
  EXPECT_EQ(
      Run(token, {Command("SendQueryData"), Command("SendQueryData"), Command("SendQueryData")}),
      (QList<QStringList>{{"QueryData|Bob"}, {"QueryData|Cy"}, {"EndQuery"}}));
  EXPECT_TRUE(RunOne(token, "SaveQuery", {"0"}).value(0).startsWith("Fields|2|name"));
}

TEST_F(WebApiTest, AFieldListTellsTheBrowserEachFieldsLengthAndWhichAreMemos) {
  Exec(
      "CREATE TABLE notes (id INTEGER PRIMARY KEY AUTOINCREMENT, title VARCHAR(12), "
      "body LONGTEXT, n LONG)");
  Exec("INSERT INTO notes (title, body, n) VALUES ('a', 'long text', 1)");
  Publish({"people", "notes"});
  const QString token = LogOn();
  const auto fieldList = [this](int perCommand) {
    return last_.body.value("replies").toArray().at(perCommand).toArray().at(0).toObject();
  };

  Run(token, {Command("RequestTheTable", {"0", "1"}), Command("Update", {"1", "b", "c", "2"})});
  QJsonObject notes = fieldList(0);
  EXPECT_EQ(notes.value("fields").toArray().size(), 5);
  EXPECT_EQ(notes.value("maxLength").toArray(), (QJsonArray{0, 12, 0, 0}));
  EXPECT_EQ(notes.value("memo").toArray(), (QJsonArray{false, false, true, false}));
  // Other replies carry only word and fields.
  EXPECT_EQ(fieldList(1).keys(), (QStringList{"fields", "word"}));
  // A query's own field list is not the set the form edits.
  Run(token, {Command("CreateQuery", {"Names", "SELECT [name] FROM [people]"})});
  EXPECT_FALSE(fieldList(0).contains("maxLength"));
}

TEST_F(WebApiTest, CallsOfOneSessionThatOverlapRunInTheOrderTheyCame) {
  // A browser may send its next call before the last one is answered.
  const QString token = LogOn();
  RunOne(token, "ThankYou");
  RunOne(token, "RequestTheTable", {"0", "0"});
  QList<QString> answers;
  const auto call = [&](const QString& word) {
    const QJsonArray list{Command(word)};
    api_->Run(token, {{"commands", list}}, [&answers](WebAnswer answer) {
      answers << answer.body.value("replies").toArray().at(0).toArray().at(0)["word"].toString() +
                     QString::number(answer.status);
    });
  };
  call("Last");
  call("Prev");
  call("Delete");
  call("First");
  ASSERT_TRUE(WaitUntil([&] { return answers.size() == 4; }, 5000));
  EXPECT_EQ(answers, (QList<QString>{"Data200", "Data200", "Data200", "Data200"}));
  // The second record went, since "Prev" ran before "Delete".
  EXPECT_EQ(Query("SELECT group_concat(name) FROM people").toString(), "Ann,Cy");
}

// The last character of the code page is an ordinary one on both ways in.
TEST_F(WebApiTest, WebAndTcpClientsSeeEachOthersSavedChanges) {
  const QString token = LogOn();
  auto tcp = LoggedOn("ann", "pw", 23456789);
  RunOne(token, "RequestTheTable", {"0", "0"});
  Ask(*tcp, "RequestTheTable", {"0", "0"});
  const QString name = QStringLiteral("Zo\u00ff");
  EXPECT_EQ(RunOne(token, "Update", {"1", name, "11"}), QStringList{"Data|1|1|" + name + "|11"});
  EXPECT_EQ(Query("SELECT name FROM people WHERE id = 1").toString(), name);
  EXPECT_EQ(Ask(*tcp, "First").text, Message({"Data", "1", "1", "Zo\xFF", "11"}));
  EXPECT_EQ(Ask(*tcp, "Next").text, Message({"Data", "2", "2", "Bob", "20"}));
  EXPECT_EQ(Ask(*tcp, "Update", {"2", "Rob", "21"}).text, Message({"Data", "2", "2", "Rob", "21"}));
  EXPECT_EQ(RunOne(token, "Next"), QStringList{"Data|2|2|Rob|21"});
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
  EXPECT_TRUE(Error().contains("Windows-1252"));
  EXPECT_EQ(server_.activity.events.size(), events);  // nothing of a refused request ran
  EXPECT_EQ(RunOne("0123abcd", "ThankYou"), QStringList());
  EXPECT_EQ(last_.status, 401);
}

TEST_F(WebApiTest, ASessionEndsWithItsSlotOrItsLogon) {
  const QString first = LogOn();
  server_.slots().FreeEverySlot(FreeReason::kDisconnectAll);
  EXPECT_EQ(RunOne(first, "ThankYou"), QStringList());
  EXPECT_EQ(last_.status, 401);
  // The slot goes to the next browser; the old token does not reach it.
  const QString second = LogOn("ann", "pw");
  EXPECT_EQ(server_.slots().SlotState(0), kSocketConnected);
  EXPECT_EQ(RunOne(first, "ThankYou"), QStringList());
  EXPECT_EQ(RunOne(second, "ThankYou"), QStringList{"Databases|shop.db"});
  // A failed command ends the logon, as for any client; the refresh closes the slot.
  EXPECT_EQ(RunOne(second, "RequestTheTable", {"0", "7"}).value(0),
            "ErrorDB|Subscript out of range");
  EXPECT_FALSE(last_.body.value("loggedOn").toBool());
  server_.slots().RefreshStatus();
  EXPECT_EQ(server_.slots().ConnectedCount(), 0);
  // And an idle one goes when its time is up; with the limit off, after half an hour, since
  // it holds a slot with no connection of its own.
  const QString third = LogOn();
  server_.settings.InactivityLimit = 1;
  server_.slots().CheckInactivity();
  server_.slots().CheckInactivity();
  EXPECT_EQ(RunOne(third, "ThankYou"), QStringList());
  const QString fourth = LogOn();
  server_.settings.InactivityLimit = 0;
  for (int minute = 0; minute < kWebSessionIdleMinutes; ++minute) {
    server_.slots().CheckInactivity();
  }
  EXPECT_EQ(RunOne(fourth, "ThankYou"), QStringList{"Databases|shop.db"});
  for (int minute = 0; minute < kWebSessionIdleMinutes + 1; ++minute) {
    server_.slots().CheckInactivity();
  }
  EXPECT_EQ(RunOne(fourth, "ThankYou"), QStringList());
}

TEST_F(WebApiTest, ObeysTheSettingsAndStoppingFreesEveryWebSlotButNoOther) {
  server_.settings.AllowMultipleLogons = 0;
  auto tcp = LoggedOn();
  EXPECT_TRUE(LogOn().isEmpty());
  EXPECT_EQ(last_.status, 409);
  EXPECT_EQ(Error(), "MultipleUsers");
  // Not a failed password: no waiting.
  server_.settings.EncryptionEnabled = 1;
  server_.slots().RenewKeySeed();
  const QString token = LogOn("ann", "pw");
  ASSERT_FALSE(token.isEmpty());
  EXPECT_EQ(RunOne(token, "RequestTheTable", {"0", "0"}), QStringList{"Fields|3|id|name|age"});

  // Stopping the web access frees every web slot, with its logon or without, but no other.
  RunOne(token, "RequestTheTable", {"0", "7"});  // the slot's logon ends
  EXPECT_FALSE(LogOn("ann", "pw").isEmpty());
  EXPECT_EQ(server_.slots().ConnectedCount(), 3);
  const int logoffs = Events("Logoff");
  api_.reset();
  EXPECT_EQ(server_.slots().ConnectedCount(), 1);
  EXPECT_EQ(Events("Logoff"), logoffs + 2);
}

// A slot host whose logon answers carry words of their own: the web access goes by the
// outcome a logon's answer carries, never by its word.
class OwnWordsHost : public WebSlotHost {
 public:
  int OpenSlot(std::shared_ptr<SlotTransport> connection) override {
    connection_ = std::move(connection);
    return 0;
  }
  void Serve(int, const Request&, std::function<void()> done) override {
    connection_->Send(answer);
    done();
  }
  void EndSlot(int) override {}
  bool LoggedOn(int, const SlotTransport&) const override { return true; }
  QString UserName(int) const override { return QStringLiteral("bob"); }
  std::vector<WebFieldShape> OpenFieldShapes(int) const override { return {}; }
  qint64 LogonWaitMs(const QString&) const override { return 0; }

  Reply answer;
  std::shared_ptr<SlotTransport> connection_;
};

TEST(WebLogonOutcomeTest, TheOutcomeDecidesWhateverTheReplysWord) {
  OwnWordsHost host;
  WebApi api(host, 8080);
  const auto status = [&](Reply answer) {
    host.answer = std::move(answer);
    int given = 0;
    api.Logon("192.0.2.7", {{"user", "bob"}, {"password", "pw"}},
              [&given](const WebAnswer& a) { given = a.status; });
    return given;
  };
  EXPECT_EQ(status({"Welcome", {"000"}, true, LogonOutcome::kAccepted}), 200);
  EXPECT_EQ(status({"Accepted", {}, true, LogonOutcome::kMultipleUsers}), 409);
  EXPECT_EQ(status({"Accepted", {}, true, LogonOutcome::kPassDenied}), 401);
  EXPECT_EQ(status({"Accepted", {}, false}), 401);  // an error, not a logon's answer
}

TEST_F(WebApiTest, WebSessionsCountTowardTheHundredSlots) {
  for (int i = 0; i < kSlotCount; ++i) ASSERT_FALSE(LogOn().isEmpty()) << i;
  EXPECT_TRUE(LogOn().isEmpty());
  EXPECT_EQ(last_.status, 503);
}

}  // namespace
}  // namespace corvane::test
