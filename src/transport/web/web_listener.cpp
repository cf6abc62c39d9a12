#include "transport/web/web_listener.h"

#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

#include "base/address_text.h"

namespace corvane {
namespace {

template <typename Listener>
class GuardedListener final : public Listener {
 public:
  explicit GuardedListener(WebAdmission admission) : admission_(std::move(admission)) {}

  QTcpSocket* nextPendingConnection() override {
    admission_.ReaderTookLast();
    while (QTcpSocket* socket = Listener::nextPendingConnection()) {
      if (admission_.Admit(socket)) return socket;
    }
    return nullptr;
  }

 private:
  WebAdmission admission_;
};

}  // namespace

WebAdmission::WebAdmission(QObject* reader, const WebLimits& limits,
                           std::shared_ptr<WebConnectionCounts> counts)
    : reader_(reader), limits_(limits), counts_(std::move(counts)) {}

bool WebAdmission::Admit(QTcpSocket* socket) {
  const QString address = AddressText(socket->peerAddress());
  if (!counts_->TryTake(address, limits_)) {
    socket->abort();
    socket->deleteLater();
    return false;
  }
  new WebConnectionGuard(socket, reader_, address, counts_, limits_);
  last_ = socket;
  return true;
}

void WebAdmission::ReaderTookLast() {
  if (!last_) return;
  if (WebConnectionGuard* guard = WebConnectionGuard::Of(last_)) guard->FollowReader();
  last_ = nullptr;
}

QTcpServer* NewWebListener(const std::optional<QSslConfiguration>& tls, WebAdmission admission,
                           int acceptRetryMs) {
  QTcpServer* listener = nullptr;
  if (tls) {
    auto* secure = new GuardedListener<QSslServer>(std::move(admission));
    secure->setSslConfiguration(*tls);
    listener = secure;
  } else {
    listener = new GuardedListener<QTcpServer>(std::move(admission));
  }
  QObject::connect(listener, &QTcpServer::acceptError, listener, [listener, acceptRetryMs] {
    QTimer::singleShot(acceptRetryMs, listener, [listener] { listener->resumeAccepting(); });
  });
  return listener;
}

}  // namespace corvane
