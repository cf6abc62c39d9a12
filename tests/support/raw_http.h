#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>
#include <functional>

#include "client/event_wait.h"

namespace corvane::test {

// Whether an answer's header has come whole.
inline bool HasWholeAnswer(const QByteArray& got) { return got.contains("\r\n\r\n"); }

// A raw connection to a web port, from `from` when given: for tests that misbehave on
// purpose or read what comes back byte for byte.
class RawHttp {
 public:
  RawHttp(quint16 port, const QHostAddress& from = {}) {
    if (!from.isNull()) socket_.bind(from);
    socket_.connectToHost(QHostAddress::LocalHost, port);
    // A connection the server refuses at once may end before it is seen as connected.
    WaitUntil(
        [this] {
          return socket_.state() == QAbstractSocket::ConnectedState ||
                 socket_.state() == QAbstractSocket::UnconnectedState;
        },
        3000);
  }
  bool Connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
  void Write(const QByteArray& bytes) {
    socket_.write(bytes);
    WaitUntil([this] { return socket_.bytesToWrite() == 0 || !Connected(); }, 3000);
    sent_ += bytes.size();
  }
  // What arrived once `done` holds of it, or the time is up.
  QByteArray ReadUntil(const std::function<bool(const QByteArray&)>& done, int ms = 3000) {
    WaitUntil(
        [&] {
          received_ += socket_.readAll();
          return done(received_);
        },
        ms);
    return received_ += socket_.readAll();
  }
  // The answers received, each from its status line.
  int Answers(int least, int ms = 3000) {
    ReadUntil([least](const QByteArray& got) { return got.count("HTTP/1.1 ") >= least; }, ms);
    return static_cast<int>(received_.count("HTTP/1.1 "));
  }
  bool ClosedWithin(int ms) {
    WaitUntil(
        [this] {
          received_ += socket_.readAll();
          return socket_.state() == QAbstractSocket::UnconnectedState;
        },
        ms);
    return socket_.state() == QAbstractSocket::UnconnectedState;
  }
  qint64 sent() const { return sent_; }
  const QByteArray& received() const { return received_; }

 private:
  QTcpSocket socket_;
  qint64 sent_ = 0;
  QByteArray received_;
};

}  // namespace corvane::test
