#pragma once

#include <QString>
#include <QtGlobal>

#include "protocol/request.h"

namespace corvane {

// How one client slot is reached: a TCP connection of its own or a web session. The slot
// hands it replies; what goes on the wire (or into JSON) is the transport's business.
class SlotTransport {
 public:
  virtual ~SlotTransport() = default;
  // A socket state number (SocketState): Connected while replies can be delivered.
  virtual int State() const = 0;
  // Delivered only while Connected.
  virtual void Send(const Reply& reply) = 0;
  // Ends the connection (or the slot's reservation) and forgets input not yet read.
  virtual void Close() = 0;
  // Forgets input received but not yet carried out (after a refusal).
  virtual void DiscardPendingInput() = 0;
  // While a request of the slot runs elsewhere, the next one is not read: how it is read
  // may depend on the outcome.
  virtual void PauseInput() = 0;
  virtual void ResumeInput() = 0;
  virtual QString PeerAddress() const = 0;
  virtual quint16 LocalPort() const = 0;
  // Milliseconds since the current connection came in.
  virtual qint64 ConnectedMs() const = 0;
};

}  // namespace corvane
