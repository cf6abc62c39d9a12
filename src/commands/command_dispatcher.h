#pragma once

#include <QByteArray>
#include <functional>
#include <vector>

#include "commands/command_context.h"

namespace corvane {

// How a command row ends: normally (the slot is marked active afterwards) or at once.
enum class CommandEnd { kFinish, kLeaveAtOnce };

using CommandHandler = std::function<CommandEnd(CommandContext&)>;

// Carries out one complete request of a slot: unwraps it, reads the command word and runs
// the first row whose word equals it. Rows are kept in order; the database commands add
// theirs with AddCommand.
class CommandDispatcher {
 public:
  explicit CommandDispatcher(ProtocolServices& services);
  CommandDispatcher(const CommandDispatcher&) = delete;
  CommandDispatcher& operator=(const CommandDispatcher&) = delete;

  void AddCommand(const QByteArray& word, CommandHandler handler);

  // `message` is one whole frame, trailer included.
  void DispatchCommand(const QByteArray& message, int slot);

 private:
  struct CommandRow {
    QByteArray word;
    CommandHandler handler;
  };

  const CommandRow* FindRow(const QByteArray& word) const;
  // The encrypted "UserDenied" answer to a command the slot may not run.
  void Refuse(CommandContext& ctx);
  void AnswerError(int slot, int32_t number, const QString& description);

  ProtocolServices& services_;
  std::vector<CommandRow> rows_;
};

}  // namespace corvane
