#pragma once

#include "commands/command_context.h"
#include "protocol/request.h"

namespace corvane {

// Carries out the requests of the client slots: the handler of each request's command. It
// knows nothing of how a request arrived or how its replies leave.
class Dispatcher {
 public:
  explicit Dispatcher(CommandServices& services);
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // Carries out one request on the slot's state and returns what it produced. Errors a
  // command does not handle itself are answered with "ErrorDB" and the error's description.
  // Safe on a worker thread for a logged-on slot's request whose command runs on a worker
  // (kRunsOnWorker), given the request's own state and a catalogue snapshot.
  Replies Execute(SlotState slot, const Request& request, const Catalogue& catalogue);

 private:
  // The encrypted "UserDenied" answer to a command the slot may not run.
  void Refuse(CommandContext& ctx);
  void AnswerError(SlotState slot, Replies& out, const CaughtError& error);

  CommandServices& services_;
};

}  // namespace corvane
