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
  SlotDatabase& slot = ctx.database();
  bool created = false;
  try {
    Database& db = slot.Db();
    db.CreateQueryDef(name, sql);
    slot.QueryCreated(name);
    created = true;
    slot.SetRecordset(db.OpenRecordset(name));
    ctx.session().SlotObjectName = name;
    ctx.Send(CreatedQueryFieldsReply(ctx));
    return true;
  } catch (...) {
    const CaughtError error = CurrentError();
    // The client was told the query failed: it will neither save nor remove it.
    if (created) slot.RemoveCreatedQuery();
    ctx.ErrorReply("ErrorDB", "ErrorQueryCreate", error);
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
  const Catalogue& catalogue = ctx.catalogue();
  const std::vector<QStringList>& lists = catalogue.queryLists;
  if (d < 0 || static_cast<size_t>(d) >= lists.size()) throw CommandError::SubscriptOutOfRange();
  SlotDatabase& slot = ctx.database();
  const QString name = slot.Set().Name();
  // Another database's list would offer a query that its file does not hold.
  if (static_cast<size_t>(d) >= catalogue.published.size() ||
      catalogue.published[d].ServedPath() != slot.Db().Name()) {
    throw CommandError::InvalidArgument();
  }
  if (slot.createdQuery().compare(name, Qt::CaseInsensitive) == 0) {
    ctx.out().savedQuery = SavedQuery{d, name};
    slot.QuerySaved();
  } else if (!lists[d].contains(name, Qt::CaseInsensitive)) {
    // Neither the slot's own query nor one listed already (saved before, or the operator's).
    throw CommandError::InvalidArgument();
  }
}

void RemoveClientQuery(CommandContext& ctx) {
  // Only the slot's own unsaved query goes: a saved query or the operator's stays.
  ctx.database().Close();
}

}  // namespace corvane
