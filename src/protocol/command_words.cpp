#include "protocol/command_words.h"

#include <array>

namespace corvane {
namespace {

// In the order of the enumeration.
constexpr std::array<const char*, kCommandCount> kWords = {"Logon",
                                                           "ThankYou",
                                                           "RequestTables",
                                                           "RequestQuery",
                                                           "RequestTheTable",
                                                           "RequestTheQuery",
                                                           "SendTheData",
                                                           "RequestTablesWiz",
                                                           "RequestTheFieldsWiz",
                                                           "CreateQuery",
                                                           "SendQueryData",
                                                           "SaveQuery",
                                                           "RemoveQuery",
                                                           "Update",
                                                           "Blank",
                                                           "Next",
                                                           "Prev",
                                                           "First",
                                                           "Close",
                                                           "Last",
                                                           "Sort",
                                                           "Add",
                                                           "Delete",
                                                           "FindFirst",
                                                           "FindNext",
                                                           "RegionalFormats"};

}  // namespace

std::optional<Command> CommandOfWord(const QByteArray& word) {
  for (int i = 0; i < kCommandCount; ++i) {
    if (word == kWords[i]) return static_cast<Command>(i);
  }
  return std::nullopt;
}

QByteArray CommandWord(Command command) { return QByteArray(kWords[static_cast<int>(command)]); }

}  // namespace corvane
