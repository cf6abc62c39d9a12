#include "commands/database_commands.h"

#include <functional>
#include <utility>
#include <vector>

#include "commands/database_open.h"
#include "commands/find_sort.h"
#include "commands/query_wizard.h"
#include "commands/record_editing.h"
#include "commands/record_replies.h"
#include "engine/engine_error.h"
#include "commands/catalogue_replies.h"
#include "commands/command_dispatcher.h"
#include "protocol/command_error.h"
#include "commands/session_table.h"
#include "base/windows1252.h"

namespace corvane {
namespace {

using DatabaseRow = std::function<CommandEnd(DatabaseScope&)>;

bool IsEmpty(DatabaseScope& scope) { return scope.Set().RecordCount() == 0; }

// The rows of the database commands, in the order the dispatcher tests them.
std::vector<std::pair<QByteArray, DatabaseRow>> Rows() {
  auto finish = [](auto action) -> DatabaseRow {
    return [action](DatabaseScope& scope) {
      action(scope);
      return CommandEnd::kFinish;
    };
  };
  auto open = [](OpenMode mode) {
    return [mode](DatabaseScope& scope) {
      if (!OpenTableOrQuery(scope, mode)) return;
      scope.command.Send(FieldListReply(scope));
      scope.command.Log("Database");
    };
  };
  auto browse = [](bool (*move)(DatabaseScope&)) {
    return [move](DatabaseScope& scope) {
      if (move(scope)) scope.command.Log("Retrieve");
    };
  };
  return {
      {"RequestTheTable", finish(open(OpenMode::kTable))},
      {"RequestTheQuery", finish(open(OpenMode::kQuery))},
      {"SendTheData",
       finish([](DatabaseScope& scope) { scope.command.Send(RecordDataReply(scope)); })},
      {"RequestTablesWiz", finish([](DatabaseScope& scope) {
         const int16_t d = FieldNumber(scope.command.fields().Next());
         if (OpenWizardDatabase(d, scope)) {
           scope.command.Send(WizardTableListReply(d, scope.command));
         }
       })},
      {"RequestTheFieldsWiz",
       finish([](DatabaseScope& scope) { scope.command.Send(WizardFieldsReply(scope)); })},
      {"CreateQuery", finish([](DatabaseScope& scope) { CreateClientQuery(scope); })},
      {"SendQueryData",
       [](DatabaseScope& scope) {
         try {
           Recordset& rs = scope.Set();
           if (!rs.Eof() && rs.AbsolutePosition() < 100) {
             scope.command.Send(QueryDataReply(scope));
           } else {
             scope.command.Reply("EndQuery");
           }
           return CommandEnd::kFinish;
         } catch (const std::exception&) {
           // The query clean-up: no reply, no event.
           RemoveClientQuery(scope);
           ClearSlotText(scope.session());
           scope.command.fields().Clear();
           return CommandEnd::kLeaveAtOnce;
         }
       }},
      {"SaveQuery", finish([](DatabaseScope& scope) {
         scope.Set().MoveFirst();
         SaveClientQuery(scope);
         scope.command.Send(FieldListReply(scope));
         scope.command.Log("Query");
       })},
      {"RemoveQuery", finish([](DatabaseScope& scope) {
         RemoveClientQuery(scope);
         scope.session().SlotDatabaseName.clear();
         scope.session().SlotObjectName.clear();
       })},
      {"Update", finish([](DatabaseScope& scope) {
         if (IsEmpty(scope)) {
           AddRecord(scope);
         } else {
           UpdateRecord(scope);
         }
         scope.command.Send(RecordDataReply(scope));
       })},
      {"Blank", finish([](DatabaseScope& scope) { scope.command.Send(RecordDataReply(scope)); })},
      {"Next", finish(browse(&BrowseNext))},
      {"Prev", finish(browse(&BrowsePrevious))},
      {"First", finish(browse(&BrowseFirst))},
      {"Close", finish([](DatabaseScope& scope) {
         scope.command.Log("Close");
         scope.slot.Close();
         scope.session().SlotDatabaseName.clear();
         scope.session().SlotObjectName.clear();
       })},
      {"Last", finish(browse(&BrowseLast))},
      {"Sort", finish([](DatabaseScope& scope) {
         const QString sortText = FromWindows1252(scope.command.fields().Next());
         if (IsEmpty(scope)) {
           scope.command.Reply("BOF");
         } else {
           SortRecords(sortText, scope);
         }
       })},
      {"Add", finish([](DatabaseScope& scope) {
         AddRecord(scope);
         scope.command.Send(RecordDataReply(scope));
       })},
      {"Delete", finish([](DatabaseScope& scope) {
         if (IsEmpty(scope)) {
           scope.command.Reply("BOF");
           return;
         }
         DeleteRecord(scope);
         scope.command.Send(RecordDataReply(scope));
       })},
      {"FindFirst", finish([](DatabaseScope& scope) {
         if (IsEmpty(scope)) {
           scope.command.Reply("BOF");
         } else {
           FindFirstMatch(scope);
         }
       })},
      {"FindNext", finish([](DatabaseScope& scope) {
         if (IsEmpty(scope)) {
           scope.command.Reply("BOF");
         } else {
           FindNextMatch(scope);
         }
       })},
  };
}

}  // namespace

DatabaseCommands::DatabaseCommands(Catalogue& catalogue, QLocale locale)
    : catalogue_(catalogue), formats_(locale) {}

DatabaseCommands::~DatabaseCommands() {
  if (sessions_) sessions_->SetDatabaseHooks(nullptr);
}

void DatabaseCommands::Install(CommandDispatcher& dispatcher, SessionTable& sessions) {
  sessions_ = &sessions;
  sessions.SetDatabaseHooks(&slots_);
  for (auto& [word, row] : Rows()) {
    dispatcher.AddCommand(word, [this, row = std::move(row)](CommandContext& ctx) {
      DatabaseScope scope{ctx, slots_.at(ctx.slot()), catalogue_, formats_.locale, formats_};
      try {
        return row(scope);
      } catch (const EngineError& error) {
        // Engine errors that no routine handled are the dispatcher's to answer.
        throw CommandError(error.number(), error.description());
      }
    });
  }
}

}  // namespace corvane
