#pragma once

#include <QByteArray>

namespace corvane {

// What the protocol asks of the side that owns the slots' connections.
class SlotHost {
 public:
  virtual ~SlotHost() = default;
  // Hands the frame to the slot's socket when it is connected; true when it did. The empty
  // frame puts nothing on the wire.
  virtual bool SendToSlot(const QByteArray& frame, int slot) = 0;
  // Adds the slot's row to the "Current Users" list after an accepted logon.
  virtual void AddCurrentUserRow(int slot) = 0;
};

}  // namespace corvane
