#pragma once

#include <QByteArray>

#include "wire/message_fields.h"
#include "commands/protocol_services.h"

namespace corvane {

// One command being carried out for one slot: the slot, its session, the request's fields
// after the command word, and the server's objects.
class CommandContext {
 public:
  CommandContext(int slot, QByteArray rest, ProtocolServices& services)
      : slot_(slot), fields_(std::move(rest)), services_(services) {}

  int slot() const { return slot_; }
  SlotSession& session() { return services_.sessions.at(slot_); }
  FieldCursor& fields() { return fields_; }
  ProtocolServices& services() { return services_; }

  // The reply frame for this slot under the encryption setting.
  QByteArray Frame(const QByteArray& text);
  // Sends an already framed reply; the empty text sends nothing.
  bool Send(const QByteArray& frame);
  // Sends the reply word alone.
  void Reply(const QByteArray& word);
  void Log(const QByteArray& code);

 private:
  int slot_;
  FieldCursor fields_;
  ProtocolServices& services_;
};

}  // namespace corvane
