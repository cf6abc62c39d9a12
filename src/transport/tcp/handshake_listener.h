#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace corvane {

// The listener on the server's port and its redirect handshake: it accepts one connection,
// has a slot reserved (the slot listens before its port is announced), sends the redirect
// message with the slot's port ("0" when no slot is free) and accepts nobody else until that
// client closes the connection or the hold limit passes. After an accept error (file
// descriptors used up, say) it reports the first error of a run and accepts again after a
// pause, so the port never stays deaf once the cause is gone.
class HandshakeListener : public QObject {
  Q_OBJECT

 public:
  // `reserveSlot` reserves a free slot for the client at the address given and returns the
  // port it listens on, or 0.
  HandshakeListener(std::function<quint16(const QString& peer)> reserveSlot, int holdLimitMs,
                    int acceptRetryMs, QObject* parent = nullptr);
  ~HandshakeListener() override;

  // Closed (0), Listening (2), or Connected (7) while a handshake waits for its client.
  int State() const { return state_; }
  quint16 LocalPort() const { return localPort_; }

  // Listens on all interfaces; the platform chooses the port for 0. False, and Closed, when
  // the port cannot be listened on.
  bool Listen(quint16 port);
  void Close();

 Q_SIGNALS:
  // The listener reported an error while accepting (once for a run of errors).
  void ListenerError(const QString& description);

 private:
  void OnNewConnection();
  void FinishHandshake();
  void OnAcceptError();
  void RetryAccepting();

  std::function<quint16(const QString& peer)> reserveSlot_;
  int holdLimitMs_;
  int acceptRetryMs_;
  bool acceptFailing_ = false;
  int state_ = 0;
  quint16 localPort_ = 0;
  QPointer<QTcpServer> server_;
  QPointer<QTcpSocket> handshake_;
  QTimer holdTimer_;
  QTimer retryTimer_;
};

}  // namespace corvane
