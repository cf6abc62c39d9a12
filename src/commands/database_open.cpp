#include "commands/database_open.h"

#include <QFileInfo>

#include "engine/database.h"
#include "protocol/command_error.h"

namespace corvane {
namespace {

const PublishedDatabase& PublishedItem(const Catalogue& catalogue, int16_t d) {
  if (d < 0 || static_cast<size_t>(d) >= catalogue.published.size()) {
    throw CommandError::SubscriptOutOfRange();
  }
  return catalogue.published[d];
}

const QString& ListEntry(const std::vector<QStringList>& lists, int16_t d, int16_t t) {
  if (d < 0 || static_cast<size_t>(d) >= lists.size() || t < 0 || t >= lists[d].size()) {
    throw CommandError::SubscriptOutOfRange();
  }
  return lists[d][t];
}

// "NoDatabase" when nothing is at the published location; the slot stays as it was. A
// server database is always there; one that does not answer fails to open. A withdrawn
// database is gone for new opens.
bool DatabaseFileExists(CommandContext& ctx, const PublishedDatabase& item) {
  if (!item.withdrawn && (item.IsServerDatabase() || QFileInfo(item.ServedPath()).isFile()))
    return true;
  ctx.SendWord("NoDatabase");
  return false;
}

// The open error: the reply, the slot's texts cleared, then the error reported.
void OpenFailed(CommandContext& ctx, const QByteArray& eventWord, const CaughtError& error) {
  ctx.Send(Reply{"ErrorDB", {error.description}, false});
  ClearSlotText(ctx.session());
  ctx.LogError(eventWord, error);
}

}  // namespace

bool OpenTableOrQuery(CommandContext& ctx, OpenMode mode) {
  FieldReader& fields = ctx.fields();
  const int16_t d = FieldNumber(fields.Next());
  const int16_t t = FieldNumber(fields.Next());
  const Catalogue& catalogue = ctx.catalogue();
  const PublishedDatabase& item = PublishedItem(catalogue, d);
  if (!DatabaseFileExists(ctx, item)) return false;
  const QString object =
      ListEntry(mode == OpenMode::kTable ? catalogue.tableLists : catalogue.queryLists, d, t);
  ctx.session().SlotDatabaseName = item.name;
  ctx.session().SlotObjectName = object;
  SlotDatabase& slot = ctx.database();
  slot.Close();
  try {
    slot.SetDatabase(ctx.services().databases.Open(item.ServedPath()));
    slot.SetRecordset(slot.Db().OpenRecordset(object));
    Recordset& rs = ctx.Set();
    if (rs.RecordCount() > 0 && rs.Updatable()) rs.Edit();
    return true;
  } catch (...) {
    OpenFailed(ctx, "ErrorOpen", CurrentError());
    return false;
  }
}

bool OpenWizardDatabase(int16_t d, CommandContext& ctx) {
  const PublishedDatabase& item = PublishedItem(ctx.catalogue(), d);
  if (!DatabaseFileExists(ctx, item)) return false;
  ctx.session().SlotDatabaseName = item.name;
  ctx.session().SlotObjectName.clear();
  ctx.database().Close();
  try {
    ctx.database().SetDatabase(ctx.services().databases.Open(item.ServedPath()));
    return true;
  } catch (...) {
    OpenFailed(ctx, "ErrorQuery", CurrentError());
    return false;
  }
}

}  // namespace corvane
