#include "client/corvane_client.h"

#include <QHostAddress>
#include <QTcpSocket>

#include "base/address_text.h"
#include "base/text_scramble.h"
#include "client/event_wait.h"
#include "wire/cipher.h"
#include "wire/control_chars.h"

namespace corvane {
namespace {

QByteArray MessageText(const QByteArray& command, const QList<QByteArray>& fields) {
  QByteArray text = kStx + command + kEot;
  for (const QByteArray& field : fields) text += field + kEot;
  return text;
}

}  // namespace

CorvaneClient::CorvaneClient(int timeoutMs) : timeoutMs_(timeoutMs) {}

CorvaneClient::~CorvaneClient() { Disconnect(); }

bool CorvaneClient::OpenSocket(const QString& host, quint16 port) {
  Disconnect();
  auto* socket = new QTcpSocket;
  socket_ = socket;
  received_.clear();
  QObject::connect(socket, &QTcpSocket::readyRead, socket,
                   [this, socket] { received_ += socket->readAll(); });
  if (!localAddress_.isNull()) socket->bind(localAddress_);
  socket->connectToHost(host, port);
  const bool connected = WaitUntil(
      [socket] {
        return socket->state() == QAbstractSocket::ConnectedState ||
               socket->state() == QAbstractSocket::UnconnectedState;
      },
      timeoutMs_);
  // A server may answer and close before the wait saw the connection open (a handshake
  // refused with the port "0"): what it sent is read all the same.
  const bool answered =
      socket->state() == QAbstractSocket::UnconnectedState && !received_.isEmpty();
  if (!connected || (socket->state() != QAbstractSocket::ConnectedState && !answered)) {
    Disconnect();
    return false;
  }
  return true;
}

std::optional<quint16> CorvaneClient::RequestSlotPort(const QString& host, quint16 listenPort) {
  if (!OpenSocket(host, listenPort)) return std::nullopt;
  std::optional<quint16> port;
  WaitUntil(
      [&] {
        port = ParseRedirect(received_);
        return port.has_value() || !IsConnected();
      },
      timeoutMs_);
  if (!port) port = ParseRedirect(received_);
  Disconnect();
  return port;
}

bool CorvaneClient::ConnectToSlot(const QString& host, quint16 slotPort) {
  if (!OpenSocket(host, slotPort)) return false;
  firstMessage_ = true;
  sessionKey_ = 0;
  return true;
}

bool CorvaneClient::Connect(const QString& host, quint16 listenPort) {
  const std::optional<quint16> port = RequestSlotPort(host, listenPort);
  if (!port || *port == 0) return false;
  return ConnectToSlot(host, *port);
}

std::optional<ClientReply> CorvaneClient::Logon(const QByteArray& user, const QByteArray& password,
                                                int32_t privateKey, const QByteArray& address) {
  privateKey_ = privateKey;
  QByteArray own = address;
  if (own.isEmpty() && socket_) own = AddressText(socket_->localAddress()).toLatin1();
  std::optional<ClientReply> reply = Request("Logon", {user, MirrorText(password), own});
  if (reply && reply->word == "Accepted" && !reply->fields.isEmpty()) {
    sessionKey_ = static_cast<int16_t>(reply->fields.front().toInt());
  }
  return reply;
}

bool CorvaneClient::EncipherRequests() const {
  switch (encryption_) {
    case ClientEncryption::kPlain:
      return false;
    case ClientEncryption::kEncrypted:
      return true;
    case ClientEncryption::kAuto:
    default:
      return sessionKey_ != 0;
  }
}

void CorvaneClient::Send(const QByteArray& command, const QList<QByteArray>& fields) {
  const QByteArray text = MessageText(command, fields);
  QByteArray frame;
  if (firstMessage_) {
    frame = EncryptPayload(text, DerivedIntegerKey(LogonKey), LogonKey) + FrameEndMark() +
            RandomTrailer(random_);
    firstMessage_ = false;
  } else if (EncipherRequests()) {
    frame =
        EncryptPayload(text, sessionKey_, privateKey_) + FrameEndMark() + RandomTrailer(random_);
  } else {
    frame = text + FrameEndMark() + kEot;
  }
  SendRaw(frame);
}

void CorvaneClient::SendRaw(const QByteArray& bytes) {
  if (!IsConnected()) return;
  socket_->write(bytes);
  socket_->flush();
}

std::vector<ClientKeys> CorvaneClient::ReplyKeyCandidates() const {
  std::vector<ClientKeys> keys;
  if (sessionKey_ != 0 && encryption_ != ClientEncryption::kPlain) {
    keys.push_back({sessionKey_, privateKey_});
  }
  if (privateKey_ != 0) keys.push_back({ReplyKey, privateKey_});
  keys.push_back({ReplyKey, LogonKey});
  return keys;
}

std::optional<ClientReply> CorvaneClient::Request(const QByteArray& command,
                                                  const QList<QByteArray>& fields) {
  Send(command, fields);
  return ReadReply();
}

std::optional<ClientReply> CorvaneClient::ReadReply(int timeoutMs) {
  std::optional<ClientReply> reply;
  WaitUntil(
      [&] {
        reply = TakeReplyFrame(received_, ReplyKeyCandidates());
        return reply.has_value();
      },
      timeoutMs < 0 ? timeoutMs_ : timeoutMs);
  return reply;
}

QList<ClientReply> CorvaneClient::ReadReplies(int count, int timeoutMs) {
  QList<ClientReply> replies;
  WaitUntil(
      [&] {
        while (std::optional<ClientReply> reply = TakeReplyFrame(received_, ReplyKeyCandidates())) {
          replies.push_back(*reply);
        }
        return replies.size() >= count;
      },
      timeoutMs < 0 ? timeoutMs_ : timeoutMs);
  return replies;
}

bool CorvaneClient::IsConnected() const {
  return socket_ && socket_->state() == QAbstractSocket::ConnectedState;
}

bool CorvaneClient::WaitForDisconnected(int timeoutMs) {
  return WaitUntil([this] { return !IsConnected(); }, timeoutMs < 0 ? timeoutMs_ : timeoutMs);
}

void CorvaneClient::Disconnect() { Release(false); }

void CorvaneClient::Close() { Release(true); }

void CorvaneClient::Release(bool graceful) {
  if (!socket_) return;
  QTcpSocket* socket = socket_;
  socket_ = nullptr;
  socket->disconnect();
  if (graceful) {
    socket->disconnectFromHost();
  } else {
    socket->abort();
  }
  socket->deleteLater();
}

}  // namespace corvane
