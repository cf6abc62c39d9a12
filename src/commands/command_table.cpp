#include "commands/command_table.h"

#include <array>

#include "commands/catalogue_replies.h"
#include "commands/database_open.h"
#include "commands/find_sort.h"
#include "commands/logon.h"
#include "commands/query_wizard.h"
#include "commands/record_editing.h"
#include "commands/record_replies.h"
#include "commands/regional_formats_reply.h"

namespace corvane {
namespace {

// A client query's records are streamed one per "SendQueryData"; the stream ends after this
// many.
constexpr int64_t kMostStreamedQueryRecords = 100;

bool IsEmpty(CommandContext& ctx) { return ctx.Set().RecordCount() == 0; }

template <OpenMode kMode>
void Open(CommandContext& ctx) {
  if (!OpenTableOrQuery(ctx, kMode)) return;
  ctx.Send(FieldListReply(ctx));
  ctx.Log("Database");
}

template <bool (*kMove)(CommandContext&)>
void Browse(CommandContext& ctx) {
  if (kMove(ctx)) ctx.Log("Retrieve");
}

// "BOF" on an empty set, the action otherwise.
template <void (*kAction)(CommandContext&)>
void UnlessEmpty(CommandContext& ctx) {
  if (IsEmpty(ctx)) {
    ctx.SendWord("BOF");
  } else {
    kAction(ctx);
  }
}

void DeleteAndShow(CommandContext& ctx) {
  DeleteRecord(ctx);
  ctx.Send(RecordDataReply(ctx));
}

void SendQueryData(CommandContext& ctx) {
  try {
    Recordset& rs = ctx.Set();
    if (!rs.Eof() && rs.AbsolutePosition() < kMostStreamedQueryRecords) {
      ctx.Send(QueryDataReply(ctx));
    } else {
      ctx.SendWord("EndQuery");
    }
  } catch (const std::exception&) {
    // The query clean-up: no reply, no event.
    RemoveClientQuery(ctx);
    ClearSlotText(ctx.session());
    ctx.LeaveAtOnce();
  }
}

struct HandlerRow {
  Command command;
  CommandHandler handler;
};

// In the order of the enumeration.
constexpr std::array<HandlerRow, kCommandCount> kHandlers = {{
    {Command::kLogon, &RunLogonCommand},
    {Command::kThankYou,
     [](CommandContext& ctx) {
       if (std::optional<Reply> reply = DatabaseListReply(ctx.catalogue())) {
         ctx.Send(std::move(*reply));
       }
     }},
    {Command::kRequestTables,
     [](CommandContext& ctx) {
       ctx.Send(TableListReply(ctx.catalogue(), FieldNumber(ctx.fields().Next())));
     }},
    {Command::kRequestQuery,
     [](CommandContext& ctx) {
       ctx.Send(QueryListReply(ctx.catalogue(), FieldNumber(ctx.fields().Next())));
     }},
    {Command::kRequestTheTable, &Open<OpenMode::kTable>},
    {Command::kRequestTheQuery, &Open<OpenMode::kQuery>},
    {Command::kSendTheData, [](CommandContext& ctx) { ctx.Send(RecordDataReply(ctx)); }},
    {Command::kRequestTablesWiz,
     [](CommandContext& ctx) {
       const int16_t d = FieldNumber(ctx.fields().Next());
       if (OpenWizardDatabase(d, ctx)) ctx.Send(WizardTableListReply(ctx.catalogue(), d));
     }},
    {Command::kRequestTheFieldsWiz, [](CommandContext& ctx) { ctx.Send(WizardFieldsReply(ctx)); }},
    {Command::kCreateQuery, [](CommandContext& ctx) { CreateClientQuery(ctx); }},
    {Command::kSendQueryData, &SendQueryData},
    {Command::kSaveQuery,
     [](CommandContext& ctx) {
       ctx.Set().MoveFirst();
       SaveClientQuery(ctx);
       ctx.Send(FieldListReply(ctx));
       ctx.Log("Query");
     }},
    {Command::kRemoveQuery,
     [](CommandContext& ctx) {
       RemoveClientQuery(ctx);
       ctx.session().SlotDatabaseName.clear();
       ctx.session().SlotObjectName.clear();
     }},
    {Command::kUpdate,
     [](CommandContext& ctx) {
       if (IsEmpty(ctx)) {
         AddRecord(ctx);
       } else {
         UpdateRecord(ctx);
       }
       ctx.Send(RecordDataReply(ctx));
     }},
    {Command::kBlank, [](CommandContext& ctx) { ctx.Send(RecordDataReply(ctx)); }},
    {Command::kNext, &Browse<&BrowseNext>},
    {Command::kPrev, &Browse<&BrowsePrevious>},
    {Command::kFirst, &Browse<&BrowseFirst>},
    {Command::kClose,
     [](CommandContext& ctx) {
       ctx.Log("Close");
       ctx.database().Close();
       ctx.session().SlotDatabaseName.clear();
       ctx.session().SlotObjectName.clear();
     }},
    {Command::kLast, &Browse<&BrowseLast>},
    {Command::kSort,
     [](CommandContext& ctx) {
       const QString sortText = ctx.fields().Next();
       if (IsEmpty(ctx)) {
         ctx.SendWord("BOF");
       } else {
         SortRecords(sortText, ctx);
       }
     }},
    {Command::kAdd,
     [](CommandContext& ctx) {
       AddRecord(ctx);
       ctx.Send(RecordDataReply(ctx));
     }},
    {Command::kDelete, &UnlessEmpty<&DeleteAndShow>},
    {Command::kFindFirst, &UnlessEmpty<&FindFirstMatch>},
    {Command::kFindNext, &UnlessEmpty<&FindNextMatch>},
    {Command::kRegionalFormats,
     [](CommandContext& ctx) { ctx.Send(RegionalFormatsReply(ctx.formats())); }},
}};

// A row left out leaves the last one empty (command 0 out of its place): comparing the
// handlers themselves is no constant expression in every build (the sanitizers').
constexpr bool EveryCommandHandled() {
  for (int i = 0; i < kCommandCount; ++i) {
    if (static_cast<int>(kHandlers[i].command) != i) return false;
  }
  return true;
}
static_assert(EveryCommandHandled(), "one handler per command, in the order of Command");

}  // namespace

CommandHandler HandlerOf(Command command) { return kHandlers[static_cast<int>(command)].handler; }

}  // namespace corvane
