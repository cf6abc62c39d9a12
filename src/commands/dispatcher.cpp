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

Dispatcher::Dispatcher(CommandServices& services)
    : services_(services), handlers_(CommandHandlers()) {}

Replies Dispatcher::Execute(SlotState slot, const Request& request, const Catalogue& catalogue) {
  Replies out;
  SlotSession& session = slot.session;
  const RequestDeadline deadline(slot.database, services_.clientWorkLimitMs);
  try {
    if (request.malformed) throw CommandError::InvalidArgument();
    CommandContext ctx(slot, request, services_, catalogue, out);
    const std::optional<Command> command = CommandOfWord(request.word);
    // Only a connection whose logon was accepted may do more than log on.
    if (command != Command::kLogon && !session.LogonAccepted) {
      Refuse(ctx);
    } else if (command) {
      if (handlers_[static_cast<int>(*command)](ctx) == CommandEnd::kLeaveAtOnce) return out;
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

bool Dispatcher::RunsOnWorker(const Request& request, const SlotSession& session) {
  if (request.malformed || !session.LogonAccepted) return false;
  const std::optional<Command> command = CommandOfWord(request.word);
  if (!command) return false;
  switch (*command) {
    case Command::kLogon:
    case Command::kThankYou:
    case Command::kRequestTables:
    case Command::kRequestQuery:
    case Command::kRegionalFormats:
      return false;
    default:
      return true;
  }
}

bool Dispatcher::MayTakeLong(const Request& request) {
  const std::optional<Command> command = CommandOfWord(request.word);
  if (!command) return false;
  switch (*command) {
    case Command::kRequestTheTable:
    case Command::kRequestTheQuery:
    case Command::kRequestTablesWiz:
    case Command::kCreateQuery:
    case Command::kSort:
    case Command::kFindFirst:
    case Command::kFindNext:
      return true;
    default:
      return false;
  }
}

bool Dispatcher::ReadsCatalogue(const Request& request) {
  const std::optional<Command> command = CommandOfWord(request.word);
  if (!command) return false;
  switch (*command) {
    case Command::kThankYou:
    case Command::kRequestTables:
    case Command::kRequestQuery:
    case Command::kRequestTheTable:
    case Command::kRequestTheQuery:
    case Command::kRequestTablesWiz:
    case Command::kRequestTheFieldsWiz:
    case Command::kSaveQuery:
      return true;
    default:
      return false;
  }
}

bool Dispatcher::ChangesSchema(const Request& request) {
  const std::optional<Command> command = CommandOfWord(request.word);
  return command == Command::kCreateQuery || command == Command::kRemoveQuery ||
         command == Command::kSendQueryData;
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
