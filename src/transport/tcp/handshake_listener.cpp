#include "transport/tcp/handshake_listener.h"

#include <QTcpServer>
#include <QTcpSocket>

#include "base/address_text.h"
#include "protocol/socket_state.h"
#include "wire/control_chars.h"
#include "wire/message_fields.h"

namespace corvane {

HandshakeListener::HandshakeListener(std::function<quint16(const QString& peer)> reserveSlot,
                                     int holdLimitMs, int acceptRetryMs, QObject* parent)
    : QObject(parent),
      reserveSlot_(std::move(reserveSlot)),
      holdLimitMs_(holdLimitMs),
      acceptRetryMs_(acceptRetryMs) {
  holdTimer_.setSingleShot(true);
  connect(&holdTimer_, &QTimer::timeout, this, &HandshakeListener::FinishHandshake);
  retryTimer_.setSingleShot(true);
  connect(&retryTimer_, &QTimer::timeout, this, &HandshakeListener::RetryAccepting);
}

HandshakeListener::~HandshakeListener() {
  delete handshake_;
  delete server_;
}

bool HandshakeListener::Listen(quint16 port) {
  Close();
  auto* server = new QTcpServer(this);
  // Connections beyond the one in hand wait in the system's queue until it is done.
  server->setMaxPendingConnections(1);
  if (!server->listen(QHostAddress::Any, port)) {
    server->deleteLater();
    return false;
  }
  server_ = server;
  localPort_ = server->serverPort();
  state_ = kSocketListening;
  connect(server, &QTcpServer::newConnection, this, &HandshakeListener::OnNewConnection);
  connect(server, &QTcpServer::acceptError, this, &HandshakeListener::OnAcceptError);
  return true;
}

void HandshakeListener::Close() {
  holdTimer_.stop();
  retryTimer_.stop();
  acceptFailing_ = false;
  if (handshake_) {
    handshake_->disconnect(this);
    handshake_->abort();
    handshake_->deleteLater();
    handshake_ = nullptr;
  }
  if (server_) {
    server_->disconnect(this);
    server_->close();
    server_->deleteLater();
    server_ = nullptr;
  }
  state_ = kSocketClosed;
}

void HandshakeListener::OnNewConnection() {
  if (!server_ || handshake_) return;
  QTcpSocket* connection = server_->nextPendingConnection();
  if (!connection) return;
  acceptFailing_ = false;
  server_->pauseAccepting();
  connection->setParent(this);
  handshake_ = connection;
  state_ = kSocketConnected;
  const quint16 port = reserveSlot_ ? reserveSlot_(AddressText(connection->peerAddress())) : 0;
  connection->write(PkNewEnd(QByteArray::number(port) + kEot));
  // Whatever the client sends here is of no interest.
  connect(connection, &QTcpSocket::readyRead, connection, [connection] { connection->readAll(); });
  connect(connection, &QTcpSocket::disconnected, this, &HandshakeListener::FinishHandshake);
  holdTimer_.start(holdLimitMs_);
  if (connection->state() != QAbstractSocket::ConnectedState) FinishHandshake();
}

void HandshakeListener::FinishHandshake() {
  holdTimer_.stop();
  if (handshake_) {
    handshake_->disconnect(this);
    handshake_->abort();
    handshake_->deleteLater();
    handshake_ = nullptr;
  }
  if (!server_) return;
  state_ = kSocketListening;
  server_->resumeAccepting();
  if (server_->hasPendingConnections()) {
    QMetaObject::invokeMethod(this, &HandshakeListener::OnNewConnection, Qt::QueuedConnection);
  }
}

// Qt stops accepting after an error other than a passing one (EMFILE, ENFILE, ENOBUFS); the
// connections wait in the system's queue meanwhile.
void HandshakeListener::OnAcceptError() {
  if (!server_) return;
  if (!acceptFailing_) {
    acceptFailing_ = true;
    Q_EMIT ListenerError(server_->errorString());
  }
  retryTimer_.start(acceptRetryMs_);
}

void HandshakeListener::RetryAccepting() {
  // A handshake in hand resumes accepting when it is done.
  if (!server_ || handshake_) return;
  server_->resumeAccepting();
  if (server_->hasPendingConnections()) {
    QMetaObject::invokeMethod(this, &HandshakeListener::OnNewConnection, Qt::QueuedConnection);
  }
}

}  // namespace corvane
