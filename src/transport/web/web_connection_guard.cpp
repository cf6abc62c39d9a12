#include "transport/web/web_connection_guard.h"

#include <sys/socket.h>

#include <QSslSocket>
#include <QTcpSocket>
#include <algorithm>

namespace corvane {
namespace {

QByteArray RefusalResponse(HttpIntake::Verdict verdict) {
  QByteArray status;
  QByteArray error;
  switch (verdict) {
    case HttpIntake::Verdict::kBodyTooLarge:
      status = "413 Payload Too Large";
      error = "Request too large";
      break;
    case HttpIntake::Verdict::kHeaderTooLarge:
      status = "431 Request Header Fields Too Large";
      error = "Request header too large";
      break;
    case HttpIntake::Verdict::kMalformed:
    case HttpIntake::Verdict::kFine:
      status = "400 Bad Request";
      error = "Bad request";
      break;
  }
  const QByteArray body = "{\"error\":\"" + error + "\"}";
  return "HTTP/1.1 " + status +
         "\r\nContent-Type: application/json\r\nX-Content-Type-Options: nosniff\r\n"
         "Cache-Control: no-store\r\nConnection: close\r\nContent-Length: " +
         QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

WebConnectionGuard::WebConnectionGuard(QTcpSocket* socket, QObject* reader, QString address,
                                       std::shared_ptr<AddressCounts> counts,
                                       const WebLimits& limits)
    : QObject(socket),
      socket_(socket),
      reader_(reader),
      address_(std::move(address)),
      counts_(std::move(counts)),
      limits_(limits),
      intake_(limits.mostHeaderBytes, limits.mostBodyBytes) {
  setObjectName(QStringLiteral("corvane_web_guard"));
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &WebConnectionGuard::OnTimeout);
  // Connected before the reader's handler, this one sees each arrival first.
  connect(socket_, &QTcpSocket::readyRead, this, &WebConnectionGuard::BeforeReader);
  // The first request's header is due from the start.
  timer_.start(limits_.headerTimeoutMs);
  seenUnread_ = 0;
  if (socket_->bytesAvailable() > 0) BeforeReader();
}

WebConnectionGuard::~WebConnectionGuard() { counts_->Release(address_); }

WebConnectionGuard* WebConnectionGuard::Of(QTcpSocket* socket) {
  return socket ? socket->findChild<WebConnectionGuard*>(QStringLiteral("corvane_web_guard"),
                                                         Qt::FindDirectChildrenOnly)
                : nullptr;
}

void WebConnectionGuard::FollowReader() {
  connect(socket_, &QTcpSocket::readyRead, this, &WebConnectionGuard::AfterReader);
}

void WebConnectionGuard::BeforeReader() {
  if (refused_) {
    Drain();
    return;
  }
  const qint64 available = socket_->bytesAvailable();
  const qint64 fresh = available - seenUnread_;
  if (fresh <= 0) return;
  // The newest bytes are the last ones unread.
  const QByteArray unread = socket_->peek(available);
  const HttpIntake::Verdict verdict =
      intake_.Feed(QByteArrayView(unread).last(std::min<qint64>(fresh, unread.size())));
  seenUnread_ = available;
  if (verdict != HttpIntake::Verdict::kFine) {
    Refuse(verdict);
    return;
  }
  answersDue_ += intake_.Completed() - completedSeen_;
  completedSeen_ = intake_.Completed();
  UpdateTimer();
}

void WebConnectionGuard::AfterReader() {
  if (!refused_) seenUnread_ = socket_->bytesAvailable();
}

void WebConnectionGuard::Answered() {
  if (refused_) return;
  answersDue_ = std::max(0, answersDue_ - 1);
  UpdateTimer();
}

void WebConnectionGuard::UpdateTimer() {
  if (intake_.InHeader()) {
    // A header must be whole within its time from its first byte, however slowly it comes.
    if (watch_ != Watch::kHeader) {
      watch_ = Watch::kHeader;
      timer_.start(limits_.headerTimeoutMs);
    }
  } else if (!intake_.BetweenRequests()) {
    // A body must be whole within its time from the end of its header: a byte now and then
    // does not keep a connection for as long as its sender likes.
    if (watch_ != Watch::kBody) {
      watch_ = Watch::kBody;
      timer_.start(limits_.bodyTimeoutMs);
    }
  } else if (answersDue_ > 0) {
    // The server is working on an answer: however long that takes, the browser waits.
    watch_ = Watch::kAnswer;
    timer_.stop();
  } else if (watch_ != Watch::kIdle) {
    watch_ = Watch::kIdle;
    timer_.start(limits_.idleTimeoutMs);
  }
}

void WebConnectionGuard::Refuse(HttpIntake::Verdict verdict) {
  refused_ = true;
  // The reader gets nothing more of this connection, and drops what it had.
  if (reader_) QObject::disconnect(socket_, &QTcpSocket::readyRead, reader_, nullptr);
  if (socket_->isTransactionStarted()) socket_->commitTransaction();
  Drain();
  socket_->write(RefusalResponse(verdict));
  socket_->flush();
  // The answer must not be lost to a reset: the sending side is closed once it is out, and
  // what the browser still sends is read and dropped for a moment before the connection ends.
  const auto closeSending = [this] {
    if (socket_->bytesToWrite() > 0) return;
    if (qobject_cast<QSslSocket*>(socket_)) {
      socket_->disconnectFromHost();
    } else {
      ::shutdown(static_cast<int>(socket_->socketDescriptor()), SHUT_WR);
    }
  };
  connect(socket_, &QTcpSocket::bytesWritten, this, closeSending);
  closeSending();
  watch_ = Watch::kLinger;
  timer_.start(limits_.lingerMs);
}

void WebConnectionGuard::Drain() {
  while (socket_->bytesAvailable() > 0) socket_->skip(socket_->bytesAvailable());
  seenUnread_ = 0;
}

void WebConnectionGuard::OnTimeout() {
  // A connection that overstayed ends at once: nothing it could still send is wanted.
  socket_->abort();
  socket_->deleteLater();
}

}  // namespace corvane
