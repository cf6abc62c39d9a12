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

  // Carries out one request on the slot's state and returns what it produced. Errors a
  // command does not handle itself are answered with "ErrorDB" and the error's description.
  // Safe on a worker thread for a request that RunsOnWorker, given the request's own state
  // and a catalogue nobody changes meanwhile.
  Replies Execute(SlotState slot, const Request& request, const Catalogue& catalogue);

  // Whether the request does database work (everything that touches the engine), which
  // runs on a worker thread; the rest (logon, the lists, refusals, errors of reading) is
  // quick and touches the server's shared state, and runs on the event-loop thread.
  static bool RunsOnWorker(const Request& request, const SlotSession& session);
  // Whether the request may take long whatever the client does next: it opens a set (every
  // key of a table or query is read), sorts, finds or stores a query.
  static bool MayTakeLong(const Request& request);
  // Whether the request reads the published databases and their lists.
  static bool ReadsCatalogue(const Request& request);
  // Whether the request changes its database's schema (stores or deletes a query).
  static bool ChangesSchema(const Request& request);

 private:
  // The encrypted "UserDenied" answer to a command the slot may not run.
  void Refuse(CommandContext& ctx);
  void AnswerError(SlotState slot, Replies& out, const CaughtError& error);

  CommandServices& services_;
  std::array<CommandHandler, kCommandCount> handlers_;
};

}  // namespace corvane
