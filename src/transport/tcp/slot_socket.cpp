#include "transport/tcp/slot_socket.h"

#include <sys/socket.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include "base/address_text.h"
#include "base/printable_bytes.h"
#include "protocol/socket_state.h"
#include "wire/request_codec.h"

namespace corvane {
namespace {

// How many bytes of an overfull buffer the activity note shows.
constexpr qsizetype kNotedBytes = 40;

}  // namespace

SlotSocket::SlotSocket(SlotSession& session, const ServerSettings& settings, PseudoRandom& random,
                       const ConnectionLimits& limits, QObject* parent)
    : QObject(parent), session_(session), settings_(settings), random_(random), limits_(limits) {
  reservationTimer_.setSingleShot(true);
  connect(&reservationTimer_, &QTimer::timeout, this, &SlotSocket::OnReservationTimeout);
}

SlotSocket::~SlotSocket() {
  // A connected socket signals its end as it is deleted; its slot may be gone by then.
  if (connection_) connection_->disconnect(this);
  delete server_;
  delete connection_;
}

QString SlotSocket::PeerAddress() const {
  return connection_ ? AddressText(connection_->peerAddress()) : QString();
}

bool SlotSocket::Listen(quint16 port) {
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
  reservationTimer_.start(limits_.reservationLimitMs);
  return true;
}

void SlotSocket::TakeArrivedConnection() {
  // A zero wait only looks: the accepted connection arrives through OnNewConnection.
  if (state_ == kSocketListening && server_) server_->waitForNewConnection(0);
}

void SlotSocket::Close() {
  reservationTimer_.stop();
  DropServer();
  DropConnection();
  DiscardPendingInput();
  state_ = kSocketClosed;
}

void SlotSocket::DiscardPendingInput() { reader_.Clear(); }

void SlotSocket::ResumeInput() {
  paused_ = false;
  DispatchCompleteFrames();
}

void SlotSocket::Send(const Reply& reply) {
  if (state_ != kSocketConnected || !connection_) return;
  SendBytes(EncodeReply(reply, session_, settings_, random_));
}

void SlotSocket::SendBytes(const QByteArray& bytes) {
  if (bytes.isEmpty()) return;
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
  localPort_ = connection->localPort();
  state_ = kSocketConnected;
  connectedSince_.start();
  DiscardPendingInput();
  paused_ = false;
  connect(connection, &QTcpSocket::readyRead, this, &SlotSocket::OnReadyRead);
  connect(connection, &QTcpSocket::disconnected, this, [this] { OnPeerGone(kSocketPeerClosing); });
  connect(connection, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
    OnPeerGone(error == QAbstractSocket::RemoteHostClosedError ? kSocketPeerClosing : kSocketError);
  });
  if (handlers_.accepted) handlers_.accepted();
  // Bytes that came with the connection.
  if (connection_ && connection_->bytesAvailable() > 0) OnReadyRead();
}

void SlotSocket::OnReadyRead() {
  if (!connection_) return;
  const QByteArray data = connection_->readAll();
  if (data.isEmpty()) return;
  reader_.Append(data);
  DispatchCompleteFrames();
}

void SlotSocket::DispatchCompleteFrames() {
  // Frames are handed over one at a time: each may change how the next one is read.
  while (state_ == kSocketConnected && !paused_) {
    std::optional<Request> request = reader_.Next(session_, settings_);
    if (!request) break;
    // The request's commands decide whether a value comes back as it was shown.
    session_.UncarriedBytes = UncarriedBytes(session_, settings_);
    if (handlers_.request) handlers_.request(std::move(*request));
  }
  const qsizetype limit =
      session_.LogonAccepted ? limits_.receiveLimitAfterLogon : limits_.receiveLimitBeforeLogon;
  if (state_ == kSocketConnected && reader_.PendingSize() > limit) {
    const QString note =
        QStringLiteral(
            "Connection closed: %1 bytes received without a complete message "
            "(limit %2) from %3; first bytes: %4")
            .arg(reader_.PendingSize())
            .arg(limit)
            .arg(PeerAddress(), PrintableBytes(reader_.Pending().left(kNotedBytes)));
    if (handlers_.overfull) handlers_.overfull(note);
  }
}

void SlotSocket::OnPeerGone(int state) {
  if (state_ != kSocketConnected) return;
  state_ = state;
  if (handlers_.closed) handlers_.closed();
}

void SlotSocket::OnReservationTimeout() {
  if (state_ != kSocketListening) return;
  Close();
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
