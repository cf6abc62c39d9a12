#include "transport/tcp/slot_socket.h"

#include <sys/socket.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include "wire/address_text.h"
#include "transport/tcp/socket_state.h"

namespace corvane {

SlotSocket::SlotSocket(QObject* parent) : QObject(parent) {
  reservationTimer_.setSingleShot(true);
  connect(&reservationTimer_, &QTimer::timeout, this, &SlotSocket::OnReservationTimeout);
}

SlotSocket::~SlotSocket() {
  delete server_;
  delete connection_;
}

QString SlotSocket::PeerAddress() const {
  if (virtualSink_) return virtualPeer_;
  return connection_ ? AddressText(connection_->peerAddress()) : QString();
}

bool SlotSocket::Listen(quint16 port, int reservationLimitMs) {
  Close();
  auto* server = new QTcpServer(this);
  if (!server->listen(QHostAddress::Any, port)) {
    server->deleteLater();
    return false;
  }
  server_ = server;
  localPort_ = server->serverPort();
  state_ = kSocketListening;
  connect(server, &QTcpServer::newConnection, this, &SlotSocket::OnNewConnection);
  reservationTimer_.start(reservationLimitMs);
  return true;
}

void SlotSocket::Close() {
  reservationTimer_.stop();
  DropServer();
  DropConnection();
  virtualSink_ = nullptr;
  virtualPeer_.clear();
  state_ = kSocketClosed;
}

void SlotSocket::AttachVirtual(const QString& peerAddress, quint16 localPort, FrameSink sink) {
  Close();
  ++serial_;
  virtualSink_ = std::move(sink);
  virtualPeer_ = peerAddress;
  localPort_ = localPort;
  state_ = kSocketConnected;
  connectedSince_.start();
}

void SlotSocket::MarkPeerClosed() {
  if (virtualSink_ && state_ == kSocketConnected) state_ = kSocketPeerClosing;
}

bool SlotSocket::Send(const QByteArray& bytes) {
  if (state_ != kSocketConnected) return false;
  if (virtualSink_) {
    // A copy: the sink may close this slot while it runs.
    const FrameSink sink = virtualSink_;
    if (!bytes.isEmpty()) sink(bytes);
    return true;
  }
  if (!connection_) return false;
  if (bytes.isEmpty()) return true;
  // A reply written at once, when nothing waits before it, spares the event loop a round of
  // write notifications per request. What the system does not take, and anything after a
  // failed write, goes through the socket's own buffer, which reports errors as usual.
  qsizetype sent = 0;
  if (connection_->bytesToWrite() == 0) {
    const ssize_t n = ::send(static_cast<int>(connection_->socketDescriptor()), bytes.constData(),
                             static_cast<size_t>(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) sent = n;
  }
  if (sent < bytes.size()) connection_->write(bytes.constData() + sent, bytes.size() - sent);
  return true;
}

void SlotSocket::OnNewConnection() {
  if (!server_ || state_ != kSocketListening) return;
  QTcpSocket* connection = server_->nextPendingConnection();
  if (!connection) return;
  // One client per slot: the announced port stops listening once its client is in.
  DropServer();
  reservationTimer_.stop();
  connection->setParent(this);
  connection_ = connection;
  ++serial_;
  localPort_ = connection->localPort();
  state_ = kSocketConnected;
  connectedSince_.start();
  connect(connection, &QTcpSocket::readyRead, this, &SlotSocket::OnReadyRead);
  connect(connection, &QTcpSocket::disconnected, this, &SlotSocket::OnPeerGone);
  connect(connection, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
    if (state_ != kSocketConnected) return;
    state_ = error == QAbstractSocket::RemoteHostClosedError ? kSocketPeerClosing : kSocketError;
  });
  Q_EMIT Accepted();
  // Bytes that came with the connection.
  if (connection_ && connection_->bytesAvailable() > 0) OnReadyRead();
}

void SlotSocket::OnReadyRead() {
  if (!connection_) return;
  const QByteArray data = connection_->readAll();
  if (!data.isEmpty()) Q_EMIT DataArrived(data);
}

void SlotSocket::OnPeerGone() {
  if (state_ == kSocketConnected) state_ = kSocketPeerClosing;
}

void SlotSocket::OnReservationTimeout() {
  if (state_ != kSocketListening) return;
  Close();
  Q_EMIT ReservationExpired();
}

// Objects are released with deleteLater: Close may run inside their own signal handlers.
void SlotSocket::DropServer() {
  if (!server_) return;
  server_->disconnect(this);
  server_->close();
  server_->deleteLater();
  server_ = nullptr;
}

void SlotSocket::DropConnection() {
  if (!connection_) return;
  connection_->disconnect(this);
  connection_->abort();
  connection_->deleteLater();
  connection_ = nullptr;
}

}  // namespace corvane
