#pragma once

#include <array>
#include <functional>

#include "commands/command_context.h"
#include "protocol/command_words.h"
#include "protocol/request.h"

namespace corvane {

// How a command ends: normally (the slot is marked active afterwards) or at once.
enum class CommandEnd { kFinish, kLeaveAtOnce };

using CommandHandler = std::function<CommandEnd(CommandContext&)>;

// Carries out the requests of the client slots: one handler per command word. It knows
// nothing of how a request arrived or how its replies leave.
class Dispatcher {
 public:
  explicit Dispatcher(CommandServices& services);
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // Carries out one request of the slot and returns what it produced. Errors a command
  // does not handle itself are answered with "ErrorDB" and the error's description.
  Replies Execute(ClientSlot& slot, const Request& request);

 private:
  // The encrypted "UserDenied" answer to a command the slot may not run.
  void Refuse(CommandContext& ctx);
  void AnswerError(ClientSlot& slot, Replies& out, const CaughtError& error);

  CommandServices& services_;
  std::array<CommandHandler, kCommandCount> handlers_;
};

}  // namespace corvane
