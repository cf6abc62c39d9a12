#include "transport/web/web_api.h"

#include <QJsonArray>

#include "base/windows1252.h"
#include "protocol/command_descriptor.h"
#include "protocol/socket_state.h"

namespace corvane {
namespace {

WebAnswer Refusal(int status, const QString& error) {
  WebAnswer answer;
  answer.status = status;
  answer.body.insert(QStringLiteral("error"), error);
  return answer;
}

// Why a field cannot be carried out, or nothing when it can. Handhelds read every text in
// Windows-1252, and STX, ETX and EOT structure their messages: a text that holds anything
// else could not be shown to them as it was stored.
std::optional<QString> FieldProblem(const QString& text) {
  for (const QChar c : text) {
    if (c == QChar(0x02) || c == QChar(0x03) || c == QChar(0x04)) {
      return QStringLiteral("Invalid procedure call or argument");
    }
  }
  if (!FitsWindows1252(text)) {
    return QStringLiteral(
        "A text holds a character that cannot be stored (only Windows-1252 "
        "characters can).");
  }
  return std::nullopt;
}

QJsonObject ReplyObject(const Reply& reply) {
  return {{QStringLiteral("word"), QString::fromLatin1(reply.word)},
          {QStringLiteral("fields"), QJsonArray::fromStringList(reply.fields)}};
}

// A field list for the browser also tells, per field, how many characters it holds
// ("maxLength", 0 when not limited) and whether it is a memo ("memo"), so that the form
// offers a fitting input. The handhelds' field list stays as it is.
void AddFieldShapes(QJsonObject& fieldList, const std::vector<WebFieldShape>& shapes) {
  // The list starts with the record count.
  if (shapes.empty() || static_cast<qsizetype>(shapes.size()) + 1 !=
                            fieldList.value(QStringLiteral("fields")).toArray().size()) {
    return;
  }
  QJsonArray lengths;
  QJsonArray memos;
  for (const WebFieldShape& shape : shapes) {
    lengths.append(shape.maxLength);
    memos.append(shape.memo);
  }
  fieldList.insert(QStringLiteral("maxLength"), lengths);
  fieldList.insert(QStringLiteral("memo"), memos);
}

bool OpensASet(const Request& request) {
  return request.command && (request.command->Is(Command::kRequestTheTable) ||
                             request.command->Is(Command::kRequestTheQuery));
}

}  // namespace

WebApi::WebApi(WebSlotHost& slots, quint16 localPort) : slots_(slots), localPort_(localPort) {}

WebApi::~WebApi() { EndAllSessions(); }

struct WebApi::Running {
  QString token;
  WebSession session;
  std::vector<Request> requests;
  size_t next = 0;
  QJsonArray replies;
  Answer answer;
};

void WebApi::Logon(const QString& address, const QJsonObject& request, Answer answer) {
  const qint64 wait = slots_.LogonWaitMs(address);
  if (wait > 0) {
    WebAnswer refused = Refusal(
        429, QStringLiteral("Too many failed logons. Try again in %1 s.").arg((wait + 999) / 1000));
    refused.body.insert(QStringLiteral("waitSeconds"), static_cast<double>((wait + 999) / 1000));
    answer(refused);
    return;
  }
  const QJsonValue user = request.value(QStringLiteral("user"));
  const QJsonValue password = request.value(QStringLiteral("password"));
  if (!user.isString() || !password.isString() || user.toString().trimmed().isEmpty() ||
      FieldProblem(user.toString()) || FieldProblem(password.toString())) {
    answer(Refusal(400, QStringLiteral("UserDenied")));
    return;
  }
  std::erase_if(
      lost_, [](const WebSession& gone) { return gone.connection->State() != kSocketConnected; });
  WebSession session{-1, std::make_shared<WebConnection>(address, localPort_)};
  session.slot = slots_.OpenSlot(session.connection);
  if (session.slot < 0) {
    answer(Refusal(503, QStringLiteral("Maximum Users Allowed")));
    return;
  }
  const Request logon{
      &Describe(Command::kLogon), {user.toString(), password.toString(), address}, false};
  const std::weak_ptr<int> alive = alive_;
  slots_.Serve(session.slot, logon, [this, alive, session, answer = std::move(answer)] {
    if (alive.expired()) return;
    FinishLogon(session, answer);
  });
}

void WebApi::FinishLogon(const WebSession& session, const Answer& answer) {
  const std::vector<Reply> replies = session.connection->TakeReplies();
  const Reply* reply = replies.empty() ? nullptr : &replies.front();
  if (!reply || reply->logon != LogonOutcome::kAccepted) {
    // Refused, or failed with an error: the slot goes back at once. The browser is shown the
    // word a handheld would be.
    if (session.connection->State() == kSocketConnected) slots_.EndSlot(session.slot);
    const bool taken = reply && reply->logon == LogonOutcome::kMultipleUsers;
    answer(Refusal(taken ? 409 : 401,
                   reply ? QString::fromLatin1(reply->word) : QStringLiteral("UserDenied")));
    return;
  }
  WebAnswer accepted;
  accepted.sessionToken = sessions_.Create(session.slot, session.connection);
  accepted.body.insert(QStringLiteral("loggedOn"), true);
  accepted.body.insert(QStringLiteral("user"), slots_.UserName(session.slot));
  answer(accepted);
}

int WebApi::SlotOf(const QString& token) {
  const std::optional<WebSession> session = sessions_.Find(token);
  if (!session) return -1;
  // The slot may have been freed (inactivity, the setup's disconnection, a failed command)
  // and even handed to another client since.
  if (slots_.LoggedOn(session->slot, *session->connection)) return session->slot;
  if (session->connection->State() == kSocketConnected) lost_.push_back(*session);
  sessions_.Remove(token);
  return -1;
}

WebAnswer WebApi::Logoff(const QString& token) {
  const int slot = SlotOf(token);
  if (slot >= 0) slots_.EndSlot(slot);
  sessions_.Remove(token);
  WebAnswer answer;
  answer.body.insert(QStringLiteral("loggedOn"), false);
  answer.sessionToken = QString();
  return answer;
}

WebAnswer WebApi::Session(const QString& token) {
  const int slot = SlotOf(token);
  WebAnswer answer;
  answer.body.insert(QStringLiteral("loggedOn"), slot >= 0);
  if (slot >= 0) answer.body.insert(QStringLiteral("user"), slots_.UserName(slot));
  return answer;
}

void WebApi::Run(const QString& token, const QJsonObject& request, Answer answer) {
  if (SlotOf(token) < 0) {
    WebAnswer refused = Refusal(401, QStringLiteral("Not logged on"));
    refused.body.insert(QStringLiteral("loggedOn"), false);
    answer(refused);
    return;
  }
  auto run = std::make_shared<Running>();
  run->token = token;
  run->session = *sessions_.Find(token);
  run->answer = std::move(answer);
  const QJsonArray commands = request.value(QStringLiteral("commands")).toArray();
  if (commands.isEmpty() || commands.size() > kMostCommandsPerRequest) {
    run->answer(Refusal(400, QStringLiteral("Invalid procedure call or argument")));
    return;
  }
  // Everything is checked before anything runs, so a bad request changes nothing.
  for (const QJsonValue& value : commands) {
    const QJsonObject command = value.toObject();
    Request one;
    one.command = FindCommand(command.value(QStringLiteral("command")).toString().toLatin1());
    if (!one.command || one.command->Is(Command::kLogon)) {
      run->answer(Refusal(400, QStringLiteral("Unknown command")));
      return;
    }
    for (const QJsonValue& field : command.value(QStringLiteral("fields")).toArray()) {
      if (!field.isString()) {
        run->answer(Refusal(400, QStringLiteral("Invalid procedure call or argument")));
        return;
      }
      if (const std::optional<QString> problem = FieldProblem(field.toString())) {
        run->answer(Refusal(400, *problem));
        return;
      }
      one.fields.append(field.toString());
    }
    run->requests.push_back(std::move(one));
  }
  RunNext(run);
}

void WebApi::RunNext(const std::shared_ptr<Running>& run) {
  const bool loggedOn = run->next == 0 || SlotOf(run->token) >= 0;
  if (!loggedOn || run->next == run->requests.size()) {
    WebAnswer answer;
    answer.body.insert(QStringLiteral("replies"), run->replies);
    answer.body.insert(QStringLiteral("loggedOn"), loggedOn);
    if (!loggedOn) answer.sessionToken = QString();
    run->answer(answer);
    return;
  }
  const Request& request = run->requests[run->next++];
  const std::weak_ptr<int> alive = alive_;
  slots_.Serve(run->session.slot, request, [this, alive, run] {
    if (alive.expired()) return;
    const bool opened = OpensASet(run->requests[run->next - 1]);
    QJsonArray these;
    for (const Reply& reply : run->session.connection->TakeReplies()) {
      QJsonObject object = ReplyObject(reply);
      if (opened && reply.word == "Fields") {
        AddFieldShapes(object, slots_.OpenFieldShapes(run->session.slot));
      }
      these.append(object);
    }
    run->replies.append(these);
    RunNext(run);
  });
}

void WebApi::EndAllSessions() {
  sessions_.RemoveIf([this](const WebSession& session) {
    lost_.push_back(session);
    return true;
  });
  for (const WebSession& session : std::exchange(lost_, {})) {
    if (session.connection->State() == kSocketConnected) slots_.EndSlot(session.slot);
  }
}

}  // namespace corvane
