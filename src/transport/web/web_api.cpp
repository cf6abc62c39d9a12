#include "transport/web/web_api.h"

#include <QJsonArray>

#include "base/windows1252.h"
#include "protocol/command_words.h"
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

}  // namespace

WebApi::WebApi(WebSlotHost& slots, quint16 localPort, std::function<qint64()> nowMs)
    : slots_(slots), localPort_(localPort), throttle_(std::move(nowMs)) {}

WebApi::~WebApi() { EndAllSessions(); }

std::vector<Reply> WebApi::Serve(const WebSession& session, const Request& request) {
  slots_.Serve(session.slot, request);
  return session.connection->TakeReplies();
}

WebAnswer WebApi::Logon(const QString& address, const QJsonObject& request) {
  const qint64 wait = throttle_.WaitMs(address);
  if (wait > 0) {
    WebAnswer answer = Refusal(
        429, QStringLiteral("Too many failed logons. Try again in %1 s.").arg((wait + 999) / 1000));
    answer.body.insert(QStringLiteral("waitSeconds"), static_cast<double>((wait + 999) / 1000));
    return answer;
  }
  const QJsonValue user = request.value(QStringLiteral("user"));
  const QJsonValue password = request.value(QStringLiteral("password"));
  if (!user.isString() || !password.isString() || user.toString().trimmed().isEmpty() ||
      FieldProblem(user.toString()) || FieldProblem(password.toString())) {
    return Refusal(400, QStringLiteral("UserDenied"));
  }
  std::erase_if(
      lost_, [](const WebSession& gone) { return gone.connection->State() != kSocketConnected; });
  WebSession session{-1, std::make_shared<WebConnection>(address, localPort_)};
  session.slot = slots_.OpenSlot(*session.connection);
  if (session.slot < 0) return Refusal(503, QStringLiteral("Maximum Users Allowed"));
  const std::vector<Reply> replies =
      Serve(session,
            Request{CommandWord(Command::kLogon), {user.toString(), password.toString(), address}});
  const QByteArray word = replies.empty() ? QByteArray("UserDenied") : replies.front().word;
  if (word != "Accepted") {
    slots_.EndSlot(session.slot);
    if (word != "MultipleUsers") throttle_.Failed(address);
    return Refusal(word == "MultipleUsers" ? 409 : 401, QString::fromLatin1(word));
  }
  throttle_.Succeeded(address);
  WebAnswer answer;
  answer.sessionToken = sessions_.Create(session.slot, session.connection);
  answer.body.insert(QStringLiteral("loggedOn"), true);
  answer.body.insert(QStringLiteral("user"), slots_.UserName(session.slot));
  return answer;
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

WebAnswer WebApi::Run(const QString& token, const QJsonObject& request) {
  if (SlotOf(token) < 0) {
    WebAnswer answer = Refusal(401, QStringLiteral("Not logged on"));
    answer.body.insert(QStringLiteral("loggedOn"), false);
    return answer;
  }
  const WebSession session = *sessions_.Find(token);
  const QJsonArray commands = request.value(QStringLiteral("commands")).toArray();
  if (commands.isEmpty() || commands.size() > kMostCommandsPerRequest) {
    return Refusal(400, QStringLiteral("Invalid procedure call or argument"));
  }
  // Everything is checked before anything runs, so a bad request changes nothing.
  std::vector<Request> parsed;
  for (const QJsonValue& value : commands) {
    const QJsonObject command = value.toObject();
    Request one;
    one.word = command.value(QStringLiteral("command")).toString().toLatin1();
    const std::optional<Command> known = CommandOfWord(one.word);
    if (!known || *known == Command::kLogon) {
      return Refusal(400, QStringLiteral("Unknown command"));
    }
    for (const QJsonValue& field : command.value(QStringLiteral("fields")).toArray()) {
      if (!field.isString()) {
        return Refusal(400, QStringLiteral("Invalid procedure call or argument"));
      }
      if (const std::optional<QString> problem = FieldProblem(field.toString())) {
        return Refusal(400, *problem);
      }
      one.fields.append(field.toString());
    }
    parsed.push_back(std::move(one));
  }
  QJsonArray replies;
  bool loggedOn = true;
  for (const Request& one : parsed) {
    QJsonArray these;
    for (const Reply& reply : Serve(session, one)) these.append(ReplyObject(reply));
    replies.append(these);
    loggedOn = SlotOf(token) >= 0;
    if (!loggedOn) break;
  }
  WebAnswer answer;
  answer.body.insert(QStringLiteral("replies"), replies);
  answer.body.insert(QStringLiteral("loggedOn"), loggedOn);
  if (!loggedOn) answer.sessionToken = QString();
  return answer;
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
