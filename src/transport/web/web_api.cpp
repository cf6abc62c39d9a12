#include "transport/web/web_api.h"

#include <QJsonArray>
#include <QSet>

#include "server/slot_server.h"
#include "transport/tcp/socket_state.h"
#include "base/text_scramble.h"
#include "wire/cipher.h"
#include "base/windows1252.h"

namespace corvane {
namespace {

// The client's commands; "Logon" goes through its own call.
const QSet<QByteArray>& ClientCommandWords() {
  static const QSet<QByteArray> words = {"ThankYou",
                                         "RequestTables",
                                         "RequestQuery",
                                         "RequestTheTable",
                                         "RequestTheQuery",
                                         "SendTheData",
                                         "Blank",
                                         "First",
                                         "Last",
                                         "Next",
                                         "Prev",
                                         "Close",
                                         "Update",
                                         "Add",
                                         "Delete",
                                         "FindFirst",
                                         "FindNext",
                                         "Sort",
                                         "RequestTablesWiz",
                                         "RequestTheFieldsWiz",
                                         "CreateQuery",
                                         "SendQueryData",
                                         "SaveQuery",
                                         "RemoveQuery"};
  return words;
}

WebAnswer Refusal(int status, const QString& error) {
  WebAnswer answer;
  answer.status = status;
  answer.body.insert(QStringLiteral("error"), error);
  return answer;
}

// A field must not hold the protocol's structure characters: STX, ETX and EOT would cut or
// end the message, and the byte 0xFF does not survive the cipher.
std::optional<QByteArray> WireField(const QJsonValue& value) {
  if (!value.isString()) return std::nullopt;
  const QByteArray bytes = ToWindows1252(value.toString());
  for (const char c : bytes) {
    if (c == '\x02' || c == '\x03' || c == '\x04' || c == '\xFF') return std::nullopt;
  }
  return bytes;
}

QJsonObject ReplyObject(const WebReply& reply) {
  QJsonArray fields;
  for (const QByteArray& field : reply.fields) fields.append(FromWindows1252(field));
  return {{QStringLiteral("word"), FromWindows1252(reply.word)},
          {QStringLiteral("fields"), fields}};
}

}  // namespace

WebApi::WebApi(SlotServer& slots, const ServerSettings& settings, quint16 localPort,
               std::function<qint64()> nowMs)
    : channel_(slots, settings),
      slots_(slots),
      localPort_(localPort),
      throttle_(std::move(nowMs)) {}

WebAnswer WebApi::Logon(const QString& address, const QJsonObject& request) {
  const qint64 wait = throttle_.WaitMs(address);
  if (wait > 0) {
    WebAnswer answer = Refusal(
        429, QStringLiteral("Too many failed logons. Try again in %1 s.").arg((wait + 999) / 1000));
    answer.body.insert(QStringLiteral("waitSeconds"), static_cast<double>((wait + 999) / 1000));
    return answer;
  }
  const std::optional<QByteArray> user = WireField(request.value(QStringLiteral("user")));
  const std::optional<QByteArray> password = WireField(request.value(QStringLiteral("password")));
  if (!user || !password || user->trimmed().isEmpty()) {
    return Refusal(400, QStringLiteral("UserDenied"));
  }
  const int slot = channel_.Open(address, localPort_);
  if (slot < 0) return Refusal(503, QStringLiteral("Maximum Users Allowed"));
  const std::vector<WebReply> replies =
      channel_.Run(slot, "Logon", {*user, MirrorText(*password), ToWindows1252(address)});
  const QByteArray word = replies.empty() ? QByteArray("UserDenied") : replies.front().word;
  if (word != "Accepted") {
    slots_.EndVirtualSlot(slot);
    if (word != "MultipleUsers") throttle_.Failed(address);
    return Refusal(word == "MultipleUsers" ? 409 : 401, FromWindows1252(word));
  }
  throttle_.Succeeded(address);
  WebAnswer answer;
  answer.sessionToken = sessions_.Create(slot, slots_.SocketOfSlot(slot)->ConnectionSerial());
  answer.body.insert(QStringLiteral("loggedOn"), true);
  answer.body.insert(QStringLiteral("user"), slots_.Sessions().at(slot).SlotUserName);
  return answer;
}

int WebApi::SlotOf(const QString& token) {
  const std::optional<WebSession> session = sessions_.Find(token);
  if (!session) return -1;
  const SlotSocket* socket = slots_.SocketOfSlot(session->slot);
  // The slot may have been closed (inactivity, the setup's disconnection, a failed
  // command) and even handed to another client since.
  if (socket && socket->IsVirtual() && socket->State() == kSocketConnected &&
      socket->ConnectionSerial() == session->connectionSerial &&
      slots_.Sessions().at(session->slot).LogonAccepted) {
    return session->slot;
  }
  sessions_.Remove(token);
  return -1;
}

WebAnswer WebApi::Logoff(const QString& token) {
  const int slot = SlotOf(token);
  if (slot >= 0) slots_.EndVirtualSlot(slot);
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
  if (slot >= 0) {
    answer.body.insert(QStringLiteral("user"), slots_.Sessions().at(slot).SlotUserName);
  }
  return answer;
}

WebAnswer WebApi::Run(const QString& token, const QJsonObject& request) {
  const int slot = SlotOf(token);
  if (slot < 0) {
    WebAnswer answer = Refusal(401, QStringLiteral("Not logged on"));
    answer.body.insert(QStringLiteral("loggedOn"), false);
    return answer;
  }
  const QJsonArray commands = request.value(QStringLiteral("commands")).toArray();
  if (commands.isEmpty() || commands.size() > kMostCommandsPerRequest) {
    return Refusal(400, QStringLiteral("Invalid procedure call or argument"));
  }
  // Everything is checked before anything runs, so a bad request changes nothing.
  std::vector<std::pair<QByteArray, QList<QByteArray>>> parsed;
  for (const QJsonValue& value : commands) {
    const QJsonObject command = value.toObject();
    const QByteArray word = command.value(QStringLiteral("command")).toString().toLatin1();
    if (!ClientCommandWords().contains(word)) {
      return Refusal(400, QStringLiteral("Unknown command"));
    }
    QList<QByteArray> fields;
    for (const QJsonValue& field : command.value(QStringLiteral("fields")).toArray()) {
      const std::optional<QByteArray> bytes = WireField(field);
      if (!bytes) return Refusal(400, QStringLiteral("Invalid procedure call or argument"));
      fields.append(*bytes);
    }
    parsed.emplace_back(word, fields);
  }
  QJsonArray replies;
  bool loggedOn = true;
  for (const auto& [word, fields] : parsed) {
    QJsonArray these;
    for (const WebReply& reply : channel_.Run(slot, word, fields)) these.append(ReplyObject(reply));
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
    const SlotSocket* socket = slots_.SocketOfSlot(session.slot);
    if (socket && socket->IsVirtual() && socket->ConnectionSerial() == session.connectionSerial) {
      slots_.EndVirtualSlot(session.slot);
    }
    return true;
  });
}

}  // namespace corvane
