#pragma once

#include <QElapsedTimer>
#include <QString>
#include <vector>

#include "protocol/slot_transport.h"

namespace corvane {

// The transport of a slot held by a browser: replies are kept until the request that
// caused them is answered in JSON. It is Connected until the slot lets it go.
class WebConnection : public SlotTransport {
 public:
  WebConnection(QString peerAddress, quint16 localPort);

  int State() const override;
  void Send(const Reply& reply) override;
  void Close() override { closed_ = true; }
  void DiscardPendingInput() override {}
  // A browser's commands are carried out one after the other anyway.
  void PauseInput() override {}
  void ResumeInput() override {}
  QString PeerAddress() const override { return peerAddress_; }
  quint16 LocalPort() const override { return localPort_; }
  qint64 ConnectedMs() const override { return connectedSince_.elapsed(); }

  // The replies sent since the last call.
  std::vector<Reply> TakeReplies();

 private:
  QString peerAddress_;
  quint16 localPort_;
  QElapsedTimer connectedSince_;
  bool closed_ = false;
  std::vector<Reply> replies_;
};

}  // namespace corvane
