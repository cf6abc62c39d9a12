#include "protocol/command_descriptor.h"

#include <array>

namespace corvane {
namespace {

// In the order of the enumeration.
constexpr std::array<CommandDescriptor, kCommandCount> kCommands = {{
    {Command::kLogon, "Logon", kBeforeLogon},
    {Command::kThankYou, "ThankYou", kReadsCatalogue},
    {Command::kRequestTables, "RequestTables", kReadsCatalogue},
    {Command::kRequestQuery, "RequestQuery", kReadsCatalogue},
    {Command::kRequestTheTable, "RequestTheTable", kRunsOnWorker | kReadsCatalogue | kMayTakeLong},
    {Command::kRequestTheQuery, "RequestTheQuery", kRunsOnWorker | kReadsCatalogue | kMayTakeLong},
    {Command::kSendTheData, "SendTheData", kRunsOnWorker},
    {Command::kRequestTablesWiz, "RequestTablesWiz",
     kRunsOnWorker | kReadsCatalogue | kMayTakeLong},
    {Command::kRequestTheFieldsWiz, "RequestTheFieldsWiz", kRunsOnWorker | kReadsCatalogue},
    {Command::kCreateQuery, "CreateQuery", kRunsOnWorker | kChangesSchema | kMayTakeLong},
    {Command::kSendQueryData, "SendQueryData", kRunsOnWorker},
    {Command::kSaveQuery, "SaveQuery", kRunsOnWorker | kReadsCatalogue},
    {Command::kRemoveQuery, "RemoveQuery", kRunsOnWorker | kChangesSchema},
    {Command::kUpdate, "Update", kRunsOnWorker},
    {Command::kBlank, "Blank", kRunsOnWorker},
    {Command::kNext, "Next", kRunsOnWorker},
    {Command::kPrev, "Prev", kRunsOnWorker},
    {Command::kFirst, "First", kRunsOnWorker},
    {Command::kClose, "Close", kRunsOnWorker},
    {Command::kLast, "Last", kRunsOnWorker},
    {Command::kSort, "Sort", kRunsOnWorker | kMayTakeLong},
    {Command::kAdd, "Add", kRunsOnWorker},
    {Command::kDelete, "Delete", kRunsOnWorker},
    {Command::kFindFirst, "FindFirst", kRunsOnWorker | kMayTakeLong},
    {Command::kFindNext, "FindNext", kRunsOnWorker | kMayTakeLong},
    {Command::kRegionalFormats, "RegionalFormats", 0},
}};

constexpr bool InEnumerationOrder() {
  for (int i = 0; i < kCommandCount; ++i) {
    if (static_cast<int>(kCommands[i].command) != i || kCommands[i].word.empty()) return false;
  }
  return true;
}
static_assert(InEnumerationOrder(), "one row per command, in the order of Command");

}  // namespace

const CommandDescriptor* FindCommand(const QByteArray& word) {
  const std::string_view text(word.constData(), static_cast<size_t>(word.size()));
  for (const CommandDescriptor& descriptor : kCommands) {
    if (descriptor.word == text) return &descriptor;
  }
  return nullptr;
}

const CommandDescriptor& Describe(Command command) { return kCommands[static_cast<int>(command)]; }

}  // namespace corvane
