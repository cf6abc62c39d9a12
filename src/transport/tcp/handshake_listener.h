#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "base/address_counts.h"
#include "transport/tcp/connection_limits.h"

class QTcpServer;
class QTcpSocket;

namespace corvane {

// The listener on the server's port and its redirect handshake. Each connection is answered
// the moment it is accepted, side by side with any others: a slot is reserved (the slot
// listens before its port is announced) and the redirect message with the slot's port ("0"
// when no slot is free) is sent. A client that keeps the connection open after its answer
// has it closed after a short grace, and an address (and all together) may keep only so
// many open; beyond that a new connection is told "0" and closed at once. After an accept
// error (file descriptors used up, say) it reports the first error of a run and accepts
// again after a pause, so the port never stays deaf once the cause is gone.
class HandshakeListener : public QObject {
  Q_OBJECT

 public:
  // `reserveSlot` reserves a free slot for the client at the address given and returns the
  // port it listens on, or 0.
  HandshakeListener(std::function<quint16(const QString& peer)> reserveSlot,
                    const ConnectionLimits& limits, QObject* parent = nullptr);
  ~HandshakeListener() override;

  // Closed (0), Listening (2), or Connected (7) while a handshake connection is open.
  int State() const;
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
  void Answer(QTcpSocket* connection);
  // A place among the waiting handshakes for `peer`, if its share and the server's allow.
  bool TakeWaitingPlace(const QString& peer);
  void EndHandshake(QTcpSocket* connection);
  void OnAcceptError();
  void RetryAccepting();

  std::function<quint16(const QString& peer)> reserveSlot_;
  ConnectionLimits limits_;
  bool acceptFailing_ = false;
  quint16 localPort_ = 0;
  QPointer<QTcpServer> server_;
  // The handshake connections open now and their addresses.
  QHash<QTcpSocket*, QString> handshakes_;
  AddressCounts waiting_;
  QTimer retryTimer_;
};

}  // namespace corvane
