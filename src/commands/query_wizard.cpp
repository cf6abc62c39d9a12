#include "commands/query_wizard.h"

#include "protocol/command_error.h"
#include "wire/message_fields.h"
#include "base/windows1252.h"

namespace corvane {

QByteArray WizardFieldsReply(DatabaseScope& scope) {
  FieldCursor& fields = scope.command.fields();
  const int16_t d = FieldNumber(fields.Next());
  const int16_t t = FieldNumber(fields.Next());
  const std::vector<QStringList>& lists = scope.catalogue.tableLists;
  if (d < 0 || static_cast<size_t>(d) >= lists.size() || t < 0 || t >= lists[d].size()) {
    throw CommandError::SubscriptOutOfRange();
  }
  const TableDef table = scope.slot.Db().TableDefByName(lists[d][t]);
  QByteArray text = LeadField("FieldsWiz");
  for (const FieldInfo& field : table.fields) text += AddField(ToWindows1252(field.name));
  return scope.command.Frame(text);
}

bool CreateClientQuery(DatabaseScope& scope) {
  FieldCursor& fields = scope.command.fields();
  const QString name = FromWindows1252(fields.Next());
  const QString sql = FromWindows1252(fields.Next());
  try {
    Database& db = scope.slot.Db();
    db.CreateQueryDef(name, sql);
    scope.slot.SetCreatedQuery(name);
    scope.slot.SetRecordset(db.OpenRecordset(name, 2));
    scope.session().SlotObjectName = name;
    scope.command.Send(CreatedQueryFieldsReply(scope));
    return true;
  } catch (...) {
    DatabaseErrorReply(scope, "ErrorDB", "ErrorQueryCreate", CurrentError());
    return false;
  }
}

QByteArray CreatedQueryFieldsReply(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  rs.MoveLast();
  QByteArray text =
      LeadField("FieldsCreateQuery") + AddField(QByteArray::number(rs.AbsolutePosition() + 1));
  for (const FieldInfo& field : rs.Fields()) text += AddField(ToWindows1252(field.name));
  const QByteArray reply = scope.command.Frame(text);
  rs.MoveFirst();
  return reply;
}

void SaveClientQuery(DatabaseScope& scope) {
  const int16_t d = FieldNumber(scope.command.fields().Next());
  std::vector<QStringList>& lists = scope.catalogue.queryLists;
  if (d < 0 || static_cast<size_t>(d) >= lists.size()) throw CommandError::SubscriptOutOfRange();
  const QString name = scope.Set().Name();
  lists[d].append(name);
  if (scope.slot.createdQuery().compare(name, Qt::CaseInsensitive) == 0)
    scope.slot.SetCreatedQuery(QString());
}

void RemoveClientQuery(DatabaseScope& scope) {
  SlotDatabase& slot = scope.slot;
  try {
    const QString name = slot.recordset() ? slot.recordset()->Name() : QString();
    slot.CloseRecordset();
    // Only the slot's own unsaved query: a saved query or the operator's stays.
    if (slot.database() && !name.isEmpty() &&
        name.compare(slot.createdQuery(), Qt::CaseInsensitive) == 0) {
      slot.database()->DeleteQueryDef(name);
    }
  } catch (const std::exception&) {
  }
  slot.Close();
}

}  // namespace corvane
