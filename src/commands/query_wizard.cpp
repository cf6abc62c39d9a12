#include "commands/query_wizard.h"

#include "protocol/command_error.h"

namespace corvane {

Reply WizardFieldsReply(CommandContext& ctx) {
  FieldReader& fields = ctx.fields();
  const int16_t d = FieldNumber(fields.Next());
  const int16_t t = FieldNumber(fields.Next());
  const std::vector<QStringList>& lists = ctx.catalogue().tableLists;
  if (d < 0 || static_cast<size_t>(d) >= lists.size() || t < 0 || t >= lists[d].size()) {
    throw CommandError::SubscriptOutOfRange();
  }
  const TableDef table = ctx.database().Db().TableDefByName(lists[d][t]);
  Reply reply{"FieldsWiz", {}, false};
  for (const FieldInfo& field : table.fields) reply.fields.append(field.name);
  return reply;
}

bool CreateClientQuery(CommandContext& ctx) {
  FieldReader& fields = ctx.fields();
  const QString name = fields.Next();
  const QString sql = fields.Next();
  try {
    SlotDatabase& slot = ctx.database();
    Database& db = slot.Db();
    db.CreateQueryDef(name, sql);
    slot.SetCreatedQuery(name);
    slot.SetRecordset(db.OpenRecordset(name));
    ctx.session().SlotObjectName = name;
    ctx.Send(CreatedQueryFieldsReply(ctx));
    return true;
  } catch (...) {
    ctx.ErrorReply("ErrorDB", "ErrorQueryCreate", CurrentError());
    return false;
  }
}

Reply CreatedQueryFieldsReply(CommandContext& ctx) {
  Recordset& rs = ctx.Set();
  rs.MoveLast();
  Reply reply{"FieldsCreateQuery", {QString::number(rs.AbsolutePosition() + 1)}, false};
  for (const FieldInfo& field : rs.Fields()) reply.fields.append(field.name);
  rs.MoveFirst();
  return reply;
}

void SaveClientQuery(CommandContext& ctx) {
  const int16_t d = FieldNumber(ctx.fields().Next());
  const std::vector<QStringList>& lists = ctx.catalogue().queryLists;
  if (d < 0 || static_cast<size_t>(d) >= lists.size()) throw CommandError::SubscriptOutOfRange();
  SlotDatabase& slot = ctx.database();
  const QString name = slot.Set().Name();
  ctx.out().savedQuery = SavedQuery{d, name};
  if (slot.createdQuery().compare(name, Qt::CaseInsensitive) == 0) slot.SetCreatedQuery(QString());
}

void RemoveClientQuery(CommandContext& ctx) {
  SlotDatabase& slot = ctx.database();
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
