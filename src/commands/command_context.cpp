#include "commands/command_context.h"

#include "wire/frame_codec.h"

namespace corvane {

QByteArray CommandContext::Frame(const QByteArray& text) {
  return FrameReply(text, session(), services_.settings, services_.random);
}

bool CommandContext::Send(const QByteArray& frame) {
  if (frame.isEmpty()) return false;
  return services_.host.SendToSlot(frame, slot_);
}

void CommandContext::Reply(const QByteArray& word) { Send(Frame(LeadField(word))); }

void CommandContext::Log(const QByteArray& code) { services_.activity.LogActivity(slot_, code); }

}  // namespace corvane
