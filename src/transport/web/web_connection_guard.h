#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <memory>

#include "base/address_counts.h"
#include "transport/web/http_intake.h"
#include "transport/web/web_limits.h"

class QTcpSocket;

namespace corvane {

// Watches one web connection from in front of the server's own request reader, which keeps
// a request's bytes in memory until the request is whole and has no time limits: it follows
// the requests as their bytes arrive (HttpIntake), refuses one whose header or body is too
// large before the body is read, and closes a connection whose header takes too long or
// that stays idle while no answer is due. It lives as a child of the socket and gives its
// place in the counts (taken when the connection was accepted) back with it.
class WebConnectionGuard : public QObject {
  Q_OBJECT

 public:
  // `reader` is the object whose handler reads the socket's requests; it is cut off from a
  // refused connection.
  WebConnectionGuard(QTcpSocket* socket, QObject* reader, QString address,
                     std::shared_ptr<AddressCounts> counts, const WebLimits& limits);
  ~WebConnectionGuard() override;

  // The guard of a socket, or null.
  static WebConnectionGuard* Of(QTcpSocket* socket);

  // Called once the request reader has connected to the socket: from then on the guard also
  // learns, after each reading, what the reader left unread.
  void FollowReader();
  // A request of the connection was answered.
  void Answered();

 private:
  void BeforeReader();
  void AfterReader();
  void UpdateTimer();
  void Refuse(HttpIntake::Verdict verdict);
  void Drain();
  void OnTimeout();

  QTcpSocket* socket_;
  QPointer<QObject> reader_;
  QString address_;
  std::shared_ptr<AddressCounts> counts_;
  WebLimits limits_;
  HttpIntake intake_;
  // Bytes in the socket's buffer that the intake has already taken.
  qint64 seenUnread_ = 0;
  int answersDue_ = 0;
  int completedSeen_ = 0;
  enum class Watch { kHeader, kBody, kIdle, kAnswer, kLinger } watch_ = Watch::kHeader;
  bool refused_ = false;
  QTimer timer_;
};

}  // namespace corvane
