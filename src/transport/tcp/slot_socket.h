#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

#include "base/pseudo_random.h"
#include "base/server_settings.h"
#include "protocol/slot_session.h"
#include "protocol/slot_transport.h"
#include "transport/tcp/connection_limits.h"
#include "wire/request_reader.h"

class QTcpServer;
class QTcpSocket;

namespace corvane {

// The TCP socket of one client slot: listening on its announced port while reserved, then
// the one accepted connection. It assembles the frames that arrive, reads each as a request
// with the keys the slot's session expects, and writes replies as frames. It reports the
// state numbers of SocketState; a connection whose peer closed stays "peer closing" (8)
// until the slot is freed.
class SlotSocket : public QObject, public SlotTransport {
  Q_OBJECT

 public:
  struct Handlers {
    // A client connected to the reserved port.
    std::function<void()> accepted;
    // One whole request; it is carried out before the next frame is read, since its
    // outcome may change how that one is read.
    std::function<void(Request)> request;
    // More arrived than a slot may hold without a complete frame; the text says what.
    std::function<void(const QString& note)> overfull;
    // The connection ended: the peer closed it or it failed. Runs once per connection, after
    // the requests that arrived before the end were handed over.
    std::function<void()> closed;
  };

  SlotSocket(SlotSession& session, const ServerSettings& settings, PseudoRandom& random,
             const ConnectionLimits& limits, QObject* parent = nullptr);
  ~SlotSocket() override;
  void SetHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

  int State() const override { return state_; }
  // The port last listened on or connected through.
  quint16 LocalPort() const override { return localPort_; }
  // The peer's address as text ("127.0.0.1" also for IPv4 clients of a dual-stack socket).
  QString PeerAddress() const override;
  qint64 ConnectedMs() const override { return connectedSince_.elapsed(); }

  // Listens on all interfaces (port 0: the platform chooses); closes first when needed.
  // Gives up listening after the reservation limit without a connection. False when the
  // port cannot be listened on; the socket is Closed then.
  bool Listen(quint16 port);
  // Takes the connection of a reserved port whose client has already connected while the
  // event loop was busy elsewhere, so the slot no longer counts as waiting for its client.
  void TakeArrivedConnection();
  void Close() override;
  void Send(const Reply& reply) override;
  void DiscardPendingInput() override;
  void PauseInput() override { paused_ = true; }
  void ResumeInput() override;

 private:
  void OnNewConnection();
  void OnReadyRead();
  void DispatchCompleteFrames();
  void SendBytes(const QByteArray& bytes);
  // The connection ended; `state` is "peer closing" or "error".
  void OnPeerGone(int state);
  void OnReservationTimeout();
  void DropServer();
  void DropConnection();

  SlotSession& session_;
  const ServerSettings& settings_;
  PseudoRandom& random_;
  ConnectionLimits limits_;
  Handlers handlers_;
  int state_ = 0;
  quint16 localPort_ = 0;
  QPointer<QTcpServer> server_;
  QPointer<QTcpSocket> connection_;
  QTimer reservationTimer_;
  QElapsedTimer connectedSince_;
  // Received bytes not yet carried out.
  RequestReader reader_;
  bool paused_ = false;
};

}  // namespace corvane
