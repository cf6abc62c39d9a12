#include "transport/tcp/handshake_listener.h"

#include <sys/socket.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <cerrno>

#include "base/address_text.h"
#include "protocol/socket_state.h"
#include "wire/control_chars.h"
#include "wire/message_fields.h"

namespace corvane {
namespace {

QByteArray Redirect(quint16 port) { return PkNewEnd(QByteArray::number(port) + kEot); }

// Whether the client closed or reset the connection; what it sent first keeps it counted.
bool PeerGone(const QTcpSocket& connection) {
  char byte = 0;
  const ssize_t n =
      ::recv(static_cast<int>(connection.socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

}  // namespace

HandshakeListener::HandshakeListener(std::function<quint16(const QString& peer)> reserveSlot,
                                     const ConnectionLimits& limits, QObject* parent)
    : QObject(parent), reserveSlot_(std::move(reserveSlot)), limits_(limits) {
  retryTimer_.setSingleShot(true);
  connect(&retryTimer_, &QTimer::timeout, this, &HandshakeListener::RetryAccepting);
}

HandshakeListener::~HandshakeListener() { Close(); }

int HandshakeListener::State() const {
  if (!server_) return kSocketClosed;
  return handshakes_.isEmpty() ? kSocketListening : kSocketConnected;
}

bool HandshakeListener::Listen(quint16 port) {
  Close();
  auto* server = new QTcpServer(this);
  if (!server->listen(QHostAddress::Any, port)) {
    server->deleteLater();
    return false;
  }
  server_ = server;
  localPort_ = server->serverPort();
  connect(server, &QTcpServer::newConnection, this, &HandshakeListener::OnNewConnection);
  connect(server, &QTcpServer::acceptError, this, &HandshakeListener::OnAcceptError);
  return true;
}

void HandshakeListener::Close() {
  retryTimer_.stop();
  acceptFailing_ = false;
  for (QTcpSocket* connection : handshakes_.keys()) EndHandshake(connection);
  if (server_) {
    server_->disconnect(this);
    server_->close();
    server_->deleteLater();
    server_ = nullptr;
  }
}

void HandshakeListener::OnNewConnection() {
  if (!server_) return;
  acceptFailing_ = false;
  while (QTcpSocket* connection = server_->nextPendingConnection()) {
    connection->setParent(this);
    Answer(connection);
  }
}

bool HandshakeListener::TakeWaitingPlace(const QString& peer) {
  const auto take = [&] {
    return waiting_.TryTake(peer, limits_.mostWaitingHandshakesPerAddress,
                            limits_.mostWaitingHandshakes);
  };
  if (take()) return true;
  // On a busy server, clients that closed after reading their port may not have been seen
  // to go yet: their places are free.
  for (QTcpSocket* connection : handshakes_.keys()) {
    if (PeerGone(*connection)) EndHandshake(connection);
  }
  return take();
}

void HandshakeListener::Answer(QTcpSocket* connection) {
  const QString peer = AddressText(connection->peerAddress());
  if (!TakeWaitingPlace(peer)) {
    // Beyond its address's share, or the server's: told to try later, as by a full server,
    // without a slot.
    connection->write(Redirect(0));
    connect(connection, &QTcpSocket::disconnected, connection, &QObject::deleteLater);
    connection->disconnectFromHost();
    // A client that had already gone gets no "disconnected" now.
    if (connection->state() == QAbstractSocket::UnconnectedState) connection->deleteLater();
    return;
  }
  handshakes_.insert(connection, peer);
  connection->write(Redirect(reserveSlot_ ? reserveSlot_(peer) : 0));
  // Whatever the client sends here is of no interest.
  connect(connection, &QTcpSocket::readyRead, connection, [connection] { connection->readAll(); });
  connect(connection, &QTcpSocket::disconnected, this,
          [this, connection] { EndHandshake(connection); });
  QTimer::singleShot(limits_.handshakeGraceMs, connection,
                     [this, connection] { EndHandshake(connection); });
  if (connection->state() != QAbstractSocket::ConnectedState) EndHandshake(connection);
}

void HandshakeListener::EndHandshake(QTcpSocket* connection) {
  const auto it = handshakes_.find(connection);
  if (it == handshakes_.end()) return;
  waiting_.Release(it.value());
  handshakes_.erase(it);
  connection->disconnect(this);
  connection->abort();
  connection->deleteLater();
}

// Qt stops accepting after an error other than a passing one (EMFILE, ENFILE, ENOBUFS); the
// connections wait in the system's queue meanwhile.
void HandshakeListener::OnAcceptError() {
  if (!server_) return;
  if (!acceptFailing_) {
    acceptFailing_ = true;
    Q_EMIT ListenerError(server_->errorString());
  }
  retryTimer_.start(limits_.acceptRetryMs);
}

void HandshakeListener::RetryAccepting() {
  if (!server_) return;
  server_->resumeAccepting();
  if (server_->hasPendingConnections()) {
    QMetaObject::invokeMethod(this, &HandshakeListener::OnNewConnection, Qt::QueuedConnection);
  }
}

}  // namespace corvane
