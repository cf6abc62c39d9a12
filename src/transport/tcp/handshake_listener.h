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
// client closes the connection or the hold limit passes.
class HandshakeListener : public QObject {
  Q_OBJECT

 public:
  // `reserveSlot` reserves a free slot and returns the port it listens on, or 0.
  HandshakeListener(std::function<quint16()> reserveSlot, int holdLimitMs,
                    QObject* parent = nullptr);
  ~HandshakeListener() override;

  // Closed (0), Listening (2), or Connected (7) while a handshake waits for its client.
  int State() const { return state_; }
  quint16 LocalPort() const { return localPort_; }

  // Listens on all interfaces; the platform chooses the port for 0. False, and Closed, when
  // the port cannot be listened on.
  bool Listen(quint16 port);
  void Close();

 Q_SIGNALS:
  // The listener reported an error while accepting.
  void ListenerError(const QString& description);

 private:
  void OnNewConnection();
  void FinishHandshake();

  std::function<quint16()> reserveSlot_;
  int holdLimitMs_;
  int state_ = 0;
  quint16 localPort_ = 0;
  QPointer<QTcpServer> server_;
  QPointer<QTcpSocket> handshake_;
  QTimer holdTimer_;
};

}  // namespace corvane
