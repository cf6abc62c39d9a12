#include "commands/dispatcher.h"

#include <QDateTime>

#include "commands/catalogue_replies.h"
#include "commands/command_table.h"
#include "engine/engine_error.h"
#include "protocol/command_error.h"

namespace corvane {
namespace {

// Every statement a request runs, however many, shares one deadline: a client's request
// must not hold a worker and its database for longer, one find or fetch after another.
class RequestDeadline {
 public:
  RequestDeadline(SlotDatabase& database, int limitMs) : database_(database) {
    database_.SetDeadline(QDateTime::currentMSecsSinceEpoch() + limitMs);
  }
  ~RequestDeadline() { database_.SetDeadline(0); }
  RequestDeadline(const RequestDeadline&) = delete;
  RequestDeadline& operator=(const RequestDeadline&) = delete;

 private:
  SlotDatabase& database_;
};

}  // namespace

Dispatcher::Dispatcher(CommandServices& services) : services_(services) {}

Replies Dispatcher::Execute(SlotState slot, const Request& request, const Catalogue& catalogue) {
  Replies out;
  SlotSession& session = slot.session;
  const RequestDeadline deadline(slot.database, services_.clientWorkLimitMs);
  try {
    if (request.malformed) throw CommandError::InvalidArgument();
    CommandContext ctx(slot, request, services_, catalogue, out);
    const CommandDescriptor* command = request.command;
    // Only a connection whose logon was accepted may do more than log on.
    if (!session.LogonAccepted && !(command && command->Has(kBeforeLogon))) {
      Refuse(ctx);
    } else if (command) {
      HandlerOf(command->command)(ctx);
      if (ctx.LeftAtOnce()) return out;
    }
  } catch (...) {
    AnswerError(slot, out, CurrentError());
    return out;
  }
  session.FreshConnection = false;
  session.IdleMinutes = 0;
  out.active = true;
  return out;
}

void Dispatcher::Refuse(CommandContext& ctx) {
  ctx.Send(Reply{"UserDenied", {}, true});
  ctx.out().discardPendingInput = true;
  ctx.Log("UserDenied");
  ClearSlotText(ctx.session());
}

void Dispatcher::AnswerError(SlotState slot, Replies& out, const CaughtError& error) {
  out.replies.push_back(Reply{"ErrorDB", {error.description}, false});
  ClearSlotText(slot.session);
  ActivityEntry entry = SlotActivity(slot, "ErrorCommand");
  entry.errorNumber = error.number;
  entry.errorText = error.description;
  out.events.push_back(std::move(entry));
}

}  // namespace corvane
