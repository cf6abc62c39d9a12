#pragma once

#include <QByteArray>
#include <optional>

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

// The command of a word, compared exactly; nothing for any other word.
std::optional<Command> CommandOfWord(const QByteArray& word);
QByteArray CommandWord(Command command);

}  // namespace corvane
