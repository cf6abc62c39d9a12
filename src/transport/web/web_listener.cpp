#include "transport/web/web_listener.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include "base/address_text.h"
#include "transport/web/web_connection_guard.h"

namespace corvane {
namespace {

// The address of an accepted connection, or an empty text when it cannot be read.
QString PeerAddressOf(qintptr descriptor) {
  sockaddr_storage peer{};
  socklen_t size = sizeof(peer);
  if (::getpeername(static_cast<int>(descriptor), reinterpret_cast<sockaddr*>(&peer), &size) != 0)
    return {};
  return AddressText(QHostAddress(reinterpret_cast<const sockaddr*>(&peer)));
}

class WebListener final : public QTcpServer {
 public:
  WebListener(const std::optional<QSslConfiguration>& tls, QObject* reader, const WebLimits& limits,
              std::shared_ptr<AddressCounts> counts)
      : tls_(tls), reader_(reader), limits_(limits), counts_(std::move(counts)) {
    connect(this, &QTcpServer::acceptError, this, [this] {
      QTimer::singleShot(limits_.acceptRetryMs, this, [this] { resumeAccepting(); });
    });
  }

  // The request reader takes each connection right after it is handed over and connects its
  // handler then; the guard of the one handed over last follows that handler.
  QTcpSocket* nextPendingConnection() override {
    if (WebConnectionGuard* guard = WebConnectionGuard::Of(last_)) guard->FollowReader();
    last_ = QTcpServer::nextPendingConnection();
    return last_;
  }

 protected:
  void incomingConnection(qintptr descriptor) override {
    const QString address = PeerAddressOf(descriptor);
    // Refused before anything is set up for it: a flood costs an accept and a close each.
    if (address.isEmpty() ||
        !counts_->TryTake(address, limits_.mostConnectionsPerAddress, limits_.mostConnections)) {
      ::close(static_cast<int>(descriptor));
      return;
    }
    QTcpSocket* socket = tls_ ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
      counts_->Release(address);
      delete socket;
      return;
    }
    // From here the guard holds the connection's place and gives it back with the socket.
    new WebConnectionGuard(socket, reader_, address, counts_, limits_);
    if (tls_) {
      StartHandshake(static_cast<QSslSocket*>(socket));
    } else {
      addPendingConnection(socket);
    }
  }

 private:
  void StartHandshake(QSslSocket* socket) {
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    const auto drop = [socket] {
      if (socket->isEncrypted()) return;
      socket->abort();
      socket->deleteLater();
    };
    connect(deadline, &QTimer::timeout, socket, drop);
    connect(socket, &QAbstractSocket::disconnected, deadline, drop);
    connect(socket, &QAbstractSocket::errorOccurred, deadline, drop);
    connect(socket, &QSslSocket::encrypted, deadline, [this, socket, deadline] {
      // The reader handles the connection's end and errors from now on; it is told of the
      // connection by addPendingConnection.
      delete deadline;
      addPendingConnection(socket);
    });
    deadline->start(limits_.tlsHandshakeTimeoutMs);
    socket->setSslConfiguration(*tls_);
    socket->startServerEncryption();
  }

  std::optional<QSslConfiguration> tls_;
  QObject* reader_;
  WebLimits limits_;
  std::shared_ptr<AddressCounts> counts_;
  QPointer<QTcpSocket> last_;
};

}  // namespace

QTcpServer* NewWebListener(const std::optional<QSslConfiguration>& tls, QObject* reader,
                           const WebLimits& limits, std::shared_ptr<AddressCounts> counts) {
  return new WebListener(tls, reader, limits, std::move(counts));
}

}  // namespace corvane
