#pragma once

#include <QByteArray>
#include <string_view>

namespace corvane {

// The commands a client may send, one per command word.
enum class Command {
  kLogon,
  kThankYou,
  kRequestTables,
  kRequestQuery,
  kRequestTheTable,
  kRequestTheQuery,
  kSendTheData,
  kRequestTablesWiz,
  kRequestTheFieldsWiz,
  kCreateQuery,
  kSendQueryData,
  kSaveQuery,
  kRemoveQuery,
  kUpdate,
  kBlank,
  kNext,
  kPrev,
  kFirst,
  kClose,
  kLast,
  kSort,
  kAdd,
  kDelete,
  kFindFirst,
  kFindNext,
  // An extension: the server's regional formats. Original clients never send it.
  kRegionalFormats,
};
inline constexpr int kCommandCount = static_cast<int>(Command::kRegionalFormats) + 1;

// What the server must know of a command before it carries it out.
enum CommandFlag : unsigned {
  // Does database work (everything that touches the engine) and runs on a worker thread.
  // The rest (logon, the lists) is quick, touches the server's shared state and runs on the
  // event-loop thread.
  kRunsOnWorker = 1U << 0,
  // Reads the published databases and their lists.
  kReadsCatalogue = 1U << 1,
  // Changes its database's schema (stores or deletes a query): one at a time per database.
  // Other commands that let an unsaved query go (closing, opening another database, a failed
  // "SendQueryData") leave its removal to a turn of its own.
  kChangesSchema = 1U << 2,
  // May take long whatever the client does next: opens a set (every key of a table or query
  // is read), sorts, finds or stores a query.
  kMayTakeLong = 1U << 3,
  // Carried out on a connection without an accepted logon.
  kBeforeLogon = 1U << 4,
};

// One command: its word (compared exactly) and its flags. A request carries the descriptor
// of its word from the moment its transport read it.
struct CommandDescriptor {
  Command command;
  std::string_view word;
  unsigned flags;

  bool Is(Command other) const { return command == other; }
  bool Has(CommandFlag flag) const { return (flags & flag) != 0; }
};

// The descriptor of a word; nullptr for a word no command has.
const CommandDescriptor* FindCommand(const QByteArray& word);
const CommandDescriptor& Describe(Command command);

}  // namespace corvane
