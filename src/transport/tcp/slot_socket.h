#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace corvane {

// The socket of one client slot: listening on its announced port while reserved, then the
// one accepted connection. It reports the state numbers of SocketState; a connection whose
// peer closed stays "peer closing" (8) until the slot is closed.
class SlotSocket : public QObject {
  Q_OBJECT

 public:
  explicit SlotSocket(QObject* parent = nullptr);
  ~SlotSocket() override;

  int State() const { return state_; }
  // The port last listened on or connected through.
  quint16 LocalPort() const { return localPort_; }
  // The peer's address as text ("127.0.0.1" also for IPv4 clients of a dual-stack socket).
  QString PeerAddress() const;

  // Listens on all interfaces (port 0: the platform chooses); closes first when needed.
  // Gives up listening after `reservationLimitMs` without a connection. False when the port
  // cannot be listened on; the socket is Closed then.
  bool Listen(quint16 port, int reservationLimitMs);
  void Close();
  // Queues the bytes when connected; false otherwise.
  bool Send(const QByteArray& bytes);

  // A connection without a TCP socket of its own (a web session): it is Connected at once,
  // and what the slot sends goes to `sink`. Closing the slot ends it like any connection.
  using FrameSink = std::function<void(const QByteArray&)>;
  void AttachVirtual(const QString& peerAddress, quint16 localPort, FrameSink sink);
  // The virtual connection's peer left: the slot is then reaped as one whose peer closed.
  void MarkPeerClosed();
  // Tells this connection of the slot from earlier and later ones.
  quint64 ConnectionSerial() const { return serial_; }
  // Milliseconds since the current connection came in.
  qint64 ConnectedMs() const { return connectedSince_.elapsed(); }
  bool IsVirtual() const { return static_cast<bool>(virtualSink_); }

 Q_SIGNALS:
  void Accepted();
  void DataArrived(const QByteArray& data);
  void ReservationExpired();

 private:
  void OnNewConnection();
  void OnReadyRead();
  void OnPeerGone();
  void OnReservationTimeout();
  void DropServer();
  void DropConnection();

  int state_ = 0;
  quint16 localPort_ = 0;
  QPointer<QTcpServer> server_;
  QPointer<QTcpSocket> connection_;
  QTimer reservationTimer_;
  quint64 serial_ = 0;
  QElapsedTimer connectedSince_;
  FrameSink virtualSink_;
  QString virtualPeer_;
};

}  // namespace corvane
