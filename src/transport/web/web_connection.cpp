#include "transport/web/web_connection.h"

#include <utility>

#include "base/windows1252.h"
#include "protocol/socket_state.h"

namespace corvane {

WebConnection::WebConnection(QString peerAddress, quint16 localPort)
    : peerAddress_(std::move(peerAddress)), localPort_(localPort) {
  connectedSince_.start();
}

int WebConnection::State() const { return closed_ ? kSocketClosed : kSocketConnected; }

void WebConnection::Send(const Reply& reply) {
  if (closed_) return;
  // A browser is shown what a handheld is shown: one Windows-1252 character per character.
  Reply shown{reply.word, {}, reply.logonExchange, reply.logon};
  shown.fields.reserve(reply.fields.size());
  for (const QString& field : reply.fields) shown.fields.append(Windows1252Form(field));
  replies_.push_back(std::move(shown));
}

std::vector<Reply> WebConnection::TakeReplies() { return std::exchange(replies_, {}); }

}  // namespace corvane
