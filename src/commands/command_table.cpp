#include "commands/command_table.h"

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

bool IsEmpty(CommandContext& ctx) { return ctx.Set().RecordCount() == 0; }

template <typename Action>
CommandHandler Finish(Action action) {
  return [action](CommandContext& ctx) {
    action(ctx);
    return CommandEnd::kFinish;
  };
}

CommandHandler Open(OpenMode mode) {
  return Finish([mode](CommandContext& ctx) {
    if (!OpenTableOrQuery(ctx, mode)) return;
    ctx.Send(FieldListReply(ctx));
    ctx.Log("Database");
  });
}

CommandHandler Browse(bool (*move)(CommandContext&)) {
  return Finish([move](CommandContext& ctx) {
    if (move(ctx)) ctx.Log("Retrieve");
  });
}

// "BOF" on an empty set, the action otherwise.
template <typename Action>
CommandHandler UnlessEmpty(Action action) {
  return Finish([action](CommandContext& ctx) {
    if (IsEmpty(ctx)) {
      ctx.SendWord("BOF");
    } else {
      action(ctx);
    }
  });
}

CommandEnd SendQueryData(CommandContext& ctx) {
  try {
    Recordset& rs = ctx.Set();
    if (!rs.Eof() && rs.AbsolutePosition() < 100) {
      ctx.Send(QueryDataReply(ctx));
    } else {
      ctx.SendWord("EndQuery");
    }
    return CommandEnd::kFinish;
  } catch (const std::exception&) {
    // The query clean-up: no reply, no event.
    RemoveClientQuery(ctx);
    ClearSlotText(ctx.session());
    return CommandEnd::kLeaveAtOnce;
  }
}

}  // namespace

std::array<CommandHandler, kCommandCount> CommandHandlers() {
  std::array<CommandHandler, kCommandCount> handlers;
  auto set = [&handlers](Command command, CommandHandler handler) {
    handlers[static_cast<int>(command)] = std::move(handler);
  };
  set(Command::kLogon, Finish(&RunLogonCommand));
  set(Command::kThankYou, Finish([](CommandContext& ctx) {
        if (std::optional<Reply> reply = DatabaseListReply(ctx.catalogue())) {
          ctx.Send(std::move(*reply));
        }
      }));
  set(Command::kRequestTables, Finish([](CommandContext& ctx) {
        ctx.Send(TableListReply(ctx.catalogue(), FieldNumber(ctx.fields().Next())));
      }));
  set(Command::kRequestQuery, Finish([](CommandContext& ctx) {
        ctx.Send(QueryListReply(ctx.catalogue(), FieldNumber(ctx.fields().Next())));
      }));
  set(Command::kRequestTheTable, Open(OpenMode::kTable));
  set(Command::kRequestTheQuery, Open(OpenMode::kQuery));
  set(Command::kSendTheData, Finish([](CommandContext& ctx) { ctx.Send(RecordDataReply(ctx)); }));
  set(Command::kRequestTablesWiz, Finish([](CommandContext& ctx) {
        const int16_t d = FieldNumber(ctx.fields().Next());
        if (OpenWizardDatabase(d, ctx)) ctx.Send(WizardTableListReply(ctx.catalogue(), d));
      }));
  set(Command::kRequestTheFieldsWiz,
      Finish([](CommandContext& ctx) { ctx.Send(WizardFieldsReply(ctx)); }));
  set(Command::kCreateQuery, Finish([](CommandContext& ctx) { CreateClientQuery(ctx); }));
  set(Command::kSendQueryData, &SendQueryData);
  set(Command::kSaveQuery, Finish([](CommandContext& ctx) {
        ctx.Set().MoveFirst();
        SaveClientQuery(ctx);
        ctx.Send(FieldListReply(ctx));
        ctx.Log("Query");
      }));
  set(Command::kRemoveQuery, Finish([](CommandContext& ctx) {
        RemoveClientQuery(ctx);
        ctx.session().SlotDatabaseName.clear();
        ctx.session().SlotObjectName.clear();
      }));
  set(Command::kUpdate, Finish([](CommandContext& ctx) {
        if (IsEmpty(ctx)) {
          AddRecord(ctx);
        } else {
          UpdateRecord(ctx);
        }
        ctx.Send(RecordDataReply(ctx));
      }));
  set(Command::kBlank, Finish([](CommandContext& ctx) { ctx.Send(RecordDataReply(ctx)); }));
  set(Command::kNext, Browse(&BrowseNext));
  set(Command::kPrev, Browse(&BrowsePrevious));
  set(Command::kFirst, Browse(&BrowseFirst));
  set(Command::kClose, Finish([](CommandContext& ctx) {
        ctx.Log("Close");
        ctx.database().Close();
        ctx.session().SlotDatabaseName.clear();
        ctx.session().SlotObjectName.clear();
      }));
  set(Command::kLast, Browse(&BrowseLast));
  set(Command::kSort, Finish([](CommandContext& ctx) {
        const QString sortText = ctx.fields().Next();
        if (IsEmpty(ctx)) {
          ctx.SendWord("BOF");
        } else {
          SortRecords(sortText, ctx);
        }
      }));
  set(Command::kAdd, Finish([](CommandContext& ctx) {
        AddRecord(ctx);
        ctx.Send(RecordDataReply(ctx));
      }));
  set(Command::kDelete, UnlessEmpty([](CommandContext& ctx) {
        DeleteRecord(ctx);
        ctx.Send(RecordDataReply(ctx));
      }));
  set(Command::kFindFirst, UnlessEmpty(&FindFirstMatch));
  set(Command::kFindNext, UnlessEmpty(&FindNextMatch));
  set(Command::kRegionalFormats,
      Finish([](CommandContext& ctx) { ctx.Send(RegionalFormatsReply(ctx.formats())); }));
  return handlers;
}

}  // namespace corvane
