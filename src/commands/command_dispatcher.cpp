#include "commands/command_dispatcher.h"

#include "commands/catalogue_replies.h"
#include "protocol/command_error.h"
#include "wire/frame_codec.h"
#include "commands/logon_check.h"
#include "base/windows1252.h"

namespace corvane {
namespace {

constexpr char kLogonWord[] = "Logon";

void AddSessionCommands(CommandDispatcher& dispatcher) {
  dispatcher.AddCommand(kLogonWord, [](CommandContext& ctx) {
    RunLogonCommand(ctx);
    return CommandEnd::kFinish;
  });
  dispatcher.AddCommand("ThankYou", [](CommandContext& ctx) {
    ctx.Send(DatabaseListReply(ctx));
    return CommandEnd::kFinish;
  });
  dispatcher.AddCommand("RequestTables", [](CommandContext& ctx) {
    const int16_t n = FieldNumber(ctx.fields().Next());
    ctx.Send(TableListReply(n, ctx));
    return CommandEnd::kFinish;
  });
  dispatcher.AddCommand("RequestQuery", [](CommandContext& ctx) {
    const int16_t n = FieldNumber(ctx.fields().Next());
    ctx.Send(QueryListReply(n, ctx));
    return CommandEnd::kFinish;
  });
}

}  // namespace

CommandDispatcher::CommandDispatcher(ProtocolServices& services) : services_(services) {
  AddSessionCommands(*this);
}

void CommandDispatcher::AddCommand(const QByteArray& word, CommandHandler handler) {
  rows_.push_back({word, std::move(handler)});
}

const CommandDispatcher::CommandRow* CommandDispatcher::FindRow(const QByteArray& word) const {
  for (const CommandRow& row : rows_) {
    if (row.word == word) return &row;
  }
  return nullptr;
}

void CommandDispatcher::DispatchCommand(const QByteArray& message, int slot) {
  if (!IsSlotNumber(slot)) return;
  SlotSession& session = services_.sessions.at(slot);
  try {
    FieldCursor request(UnframeRequest(message, session, services_.settings));
    const QByteArray command = request.Next();
    CommandContext ctx(slot, request.FieldRest(), services_);
    const CommandRow* row = FindRow(command);
    // Only a connection whose logon was accepted may do more than log on.
    if (command != kLogonWord && !session.LogonAccepted) {
      Refuse(ctx);
    } else if (row) {
      if (row->handler(ctx) == CommandEnd::kLeaveAtOnce) return;
    }
  } catch (const CommandError& error) {
    AnswerError(slot, error.number(), error.description());
    return;
  } catch (const std::exception& error) {
    AnswerError(slot, 51, QString::fromLocal8Bit(error.what()));
    return;
  }
  session.FreshConnection = false;
  session.IdleMinutes = 0;
}

void CommandDispatcher::Refuse(CommandContext& ctx) {
  SlotSession& session = ctx.session();
  ctx.Send(FrameLogonReply(LeadField("UserDenied"), session, services_.random));
  session.ReceiveBuffer.clear();
  session.ReceiveScanFrom = 0;
  ctx.Log("UserDenied");
  ClearSlotText(session);
}

void CommandDispatcher::AnswerError(int slot, int32_t number, const QString& description) {
  SlotSession& session = services_.sessions.at(slot);
  const QByteArray text = LeadField("ErrorDB") + AddField(ToWindows1252(description));
  services_.host.SendToSlot(FrameReply(text, session, services_.settings, services_.random), slot);
  ClearSlotText(session);
  services_.sessions.SetLastError(number, description);
  services_.activity.LogActivity(slot, "ErrorCommand");
}

}  // namespace corvane
