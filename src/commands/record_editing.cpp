#include "commands/record_editing.h"

#include <optional>

#include "base/windows1252.h"
#include "commands/value_text.h"
#include "engine/engine_error.h"

namespace corvane {
namespace {

EngineError ChangedSinceSent() {
  return EngineError(engine_error::kChangedByOther,
                     QStringLiteral("Another user changed this record after you read it; "
                                    "your changes were not saved. Read the record again "
                                    "and repeat them."));
}

// Makes the record the client was last sent current again: a find that matched nothing
// or a move that bounced off an end may have moved the cursor since.
void GoToSentRecord(CommandContext& ctx) {
  Recordset& rs = ctx.Set();
  const int64_t sent = ctx.database().sentPosition();
  if (sent < 0 || sent >= rs.RecordCount()) return;
  if (rs.AbsolutePosition() != sent) rs.SetAbsolutePosition(sent);
}

// The record as the client saw it is no longer what is stored: someone saved a change
// after it was sent, and the set has read that change since.
void CheckUnchangedSinceSent(CommandContext& ctx) {
  Recordset& rs = ctx.Set();
  const std::vector<Variant>& sent = ctx.database().sentValues();
  if (ctx.database().sentPosition() < 0 || rs.AbsolutePosition() != ctx.database().sentPosition()) {
    return;
  }
  if (static_cast<int>(sent.size()) != rs.FieldCount()) return;
  for (int i = 0; i < rs.FieldCount(); ++i) {
    if (!(rs.Value(i) == sent[i])) throw ChangedSinceSent();
  }
}

// After a failed write the client is shown what is stored, not the unsaved edit.
void ShowStoredRecord(Recordset& rs) {
  try {
    rs.CancelUpdate();
    const int64_t position = rs.AbsolutePosition();
    if (position >= 0) rs.SetAbsolutePosition(position);
  } catch (const std::exception&) {
    // The record reply that follows reports what is wrong with the set.
  }
}

}  // namespace

void UpdateRecord(CommandContext& ctx) {
  Recordset& rs = ctx.Set();
  if (rs.RecordCount() == 0) return;
  try {
    GoToSentRecord(ctx);
    CheckUnchangedSinceSent(ctx);
    // A value text the client sends back as it received it leaves the field alone, so
    // that regional formats that round (money, times) never change stored values, and
    // characters the client could only be shown as '?' are not replaced by '?'.
    std::vector<std::optional<QString>> shown(rs.FieldCount());
    for (int i = 0; i < rs.FieldCount(); ++i) {
      try {
        shown[i] = Windows1252Form(FieldValueText(rs.Value(i), rs.Fields()[i], ctx.formats()));
      } catch (const std::exception&) {
      }
    }
    rs.Edit();
    FieldReader& fields = ctx.fields();
    for (int i = 0; i < rs.FieldCount(); ++i) {
      const QString text = fields.Next();
      const FieldInfo& field = rs.Fields()[i];
      if (field.autoNumber() || (shown[i] && *shown[i] == text)) continue;
      rs.SetValue(i, FieldValueFromText(text, field, ctx.locale()));
    }
    rs.Update();
    ctx.Log("Update");
  } catch (...) {
    const CaughtError error = CurrentError();
    ShowStoredRecord(rs);
    ctx.ErrorReply("ErrorUpdate", "ErrorUpdate", error);
  }
}

void AddRecord(CommandContext& ctx) {
  Recordset* rs = nullptr;
  try {
    rs = &ctx.Set();
    if (rs->RecordCount() > 0) rs->MoveLast();
    rs->AddNew();
    FieldReader& fields = ctx.fields();
    for (int i = 0; i < rs->FieldCount(); ++i) {
      QString text = fields.Next();
      const FieldInfo& field = rs->Fields()[i];
      if (field.autoNumber()) continue;
      if (field.type == FieldType::kText && field.size > 0 && text.size() > field.size) {
        text.truncate(field.size);
      }
      rs->SetValue(i, FieldValueFromText(text, field, ctx.locale()));
    }
    rs->Update();
    rs->MoveLast();
    ctx.Log("Add");
  } catch (...) {
    const CaughtError error = CurrentError();
    if (rs) ShowStoredRecord(*rs);
    ctx.ErrorReply("ErrorUpdate", "ErrorAdd", error);
  }
}

void DeleteRecord(CommandContext& ctx) {
  try {
    Recordset& rs = ctx.Set();
    GoToSentRecord(ctx);
    rs.Delete();
    if (rs.RecordCount() > 0) {
      rs.MovePrevious();
      if (rs.Bof()) rs.MoveNext();
    }
    ctx.Log("Delete");
  } catch (...) {
    ctx.ErrorReply("ErrorUpdate", "ErrorDelete", CurrentError());
  }
}

}  // namespace corvane
