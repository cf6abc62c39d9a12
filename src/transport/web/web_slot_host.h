#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "protocol/request.h"
#include "protocol/slot_transport.h"

namespace corvane {

// What the web access asks of the server's client slots. Each logged-on browser holds one
// slot through its own connection object.
// What the web client needs to know of one field of an open set to offer a fitting input.
struct WebFieldShape {
  int maxLength = 0;  // the most characters a Text field holds; 0 when not limited
  bool memo = false;  // long text, edited over several lines
};

class WebSlotHost {
 public:
  virtual ~WebSlotHost() = default;
  // Gives the lowest free slot to the connection, which the slot keeps until it is freed; -1
  // when every slot is in use. The slot then awaits its logon like a freshly accepted
  // connection.
  virtual int OpenSlot(std::shared_ptr<SlotTransport> connection) = 0;
  // Carries out one request on the slot; its replies go to the slot's connection, then
  // `done` runs (at once, or later when the request does database work).
  virtual void Serve(int slot, const Request& request, std::function<void()> done) = 0;
  // The browser left: the slot is freed ("User Logoff").
  virtual void EndSlot(int slot) = 0;
  // Whether the slot still belongs to this connection and holds an accepted logon.
  virtual bool LoggedOn(int slot, const SlotTransport& connection) const = 0;
  // Milliseconds the address must wait before its next logon, after refused ones (counted
  // over every transport); 0 when it may try now.
  virtual qint64 LogonWaitMs(const QString& address) const = 0;
  virtual QString UserName(int slot) const = 0;
  // The fields of the set the slot has open, in their order; empty when it has none or a
  // request of the slot is running.
  virtual std::vector<WebFieldShape> OpenFieldShapes(int slot) const = 0;
};

}  // namespace corvane
