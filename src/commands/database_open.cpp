#include "commands/database_open.h"

#include <QFileInfo>

#include "engine/database.h"
#include "protocol/command_error.h"
#include "wire/message_fields.h"
#include "base/windows1252.h"

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

// "NoDatabase" when nothing is at the published location; the slot stays as it was.
bool DatabaseFileExists(DatabaseScope& scope, const QString& location) {
  if (QFileInfo(location).isFile()) return true;
  scope.command.Reply("NoDatabase");
  return false;
}

// The open error: the reply, the slot's texts cleared, then the error recorded and
// reported.
void OpenFailed(DatabaseScope& scope, const QByteArray& eventWord, const CaughtError& error) {
  CommandContext& ctx = scope.command;
  ctx.Send(ctx.Frame(LeadField("ErrorDB") + AddField(ToWindows1252(error.description))));
  ClearSlotText(scope.session());
  ctx.services().sessions.SetLastError(error.number, error.description);
  ctx.Log(eventWord);
}

}  // namespace

bool OpenTableOrQuery(DatabaseScope& scope, OpenMode mode) {
  FieldCursor& fields = scope.command.fields();
  const int16_t d = FieldNumber(fields.Next());
  const int16_t t = FieldNumber(fields.Next());
  const PublishedDatabase& item = PublishedItem(scope.catalogue, d);
  if (!DatabaseFileExists(scope, item.ServedPath())) return false;
  const QString object = ListEntry(
      mode == OpenMode::kTable ? scope.catalogue.tableLists : scope.catalogue.queryLists, d, t);
  scope.session().SlotDatabaseName = item.name;
  scope.session().SlotObjectName = object;
  scope.slot.Close();
  try {
    scope.slot.SetDatabase(OpenDatabase(item.ServedPath()));
    scope.slot.SetRecordset(scope.slot.Db().OpenRecordset(object, 2));
    Recordset& rs = scope.Set();
    rs.SetLockEdits(false);
    if (rs.RecordCount() > 0 && rs.Updatable()) rs.Edit();
    return true;
  } catch (...) {
    OpenFailed(scope, "ErrorOpen", CurrentError());
    return false;
  }
}

bool OpenWizardDatabase(int16_t d, DatabaseScope& scope) {
  const PublishedDatabase& item = PublishedItem(scope.catalogue, d);
  if (!DatabaseFileExists(scope, item.ServedPath())) return false;
  scope.session().SlotDatabaseName = item.name;
  scope.session().SlotObjectName.clear();
  scope.slot.Close();
  try {
    scope.slot.SetDatabase(OpenDatabase(item.ServedPath()));
    return true;
  } catch (...) {
    OpenFailed(scope, "ErrorQuery", CurrentError());
    return false;
  }
}

}  // namespace corvane
