#include "commands/record_editing.h"

#include <optional>

#include "commands/value_text.h"
#include "engine/engine_error.h"
#include "wire/message_fields.h"
#include "base/windows1252.h"

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
void GoToSentRecord(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  const int64_t sent = scope.slot.sentPosition();
  if (sent < 0 || sent >= rs.RecordCount()) return;
  if (rs.AbsolutePosition() != sent) rs.SetAbsolutePosition(sent);
}

// The record as the client saw it is no longer what is stored: someone saved a change
// after it was sent, and the set has read that change since.
void CheckUnchangedSinceSent(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  const std::vector<Variant>& sent = scope.slot.sentValues();
  if (scope.slot.sentPosition() < 0 || rs.AbsolutePosition() != scope.slot.sentPosition()) {
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

void UpdateRecord(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  if (rs.RecordCount() == 0) return;
  try {
    GoToSentRecord(scope);
    CheckUnchangedSinceSent(scope);
    // A value text the client sends back as it received it leaves the field alone, so
    // that regional formats that round (money, times) never change stored values.
    std::vector<std::optional<QString>> shown(rs.FieldCount());
    for (int i = 0; i < rs.FieldCount(); ++i) {
      try {
        shown[i] = FieldValueText(rs.Value(i), rs.Fields()[i], scope.formats);
      } catch (const std::exception&) {
      }
    }
    rs.Edit();
    FieldCursor& fields = scope.command.fields();
    for (int i = 0; i < rs.FieldCount(); ++i) {
      const QString text = FromWindows1252(fields.Next());
      const FieldInfo& field = rs.Fields()[i];
      if (field.autoNumber() || (shown[i] && *shown[i] == text)) continue;
      rs.SetValue(i, FieldValueFromText(text, field, scope.locale));
    }
    rs.Update(1, false);
    scope.command.Log("Update");
  } catch (...) {
    const CaughtError error = CurrentError();
    ShowStoredRecord(rs);
    DatabaseErrorReply(scope, "ErrorUpdate", "ErrorUpdate", error);
  }
}

void AddRecord(DatabaseScope& scope) {
  Recordset* rs = nullptr;
  try {
    rs = &scope.Set();
    if (rs->RecordCount() > 0) rs->MoveLast();
    rs->AddNew();
    FieldCursor& fields = scope.command.fields();
    for (int i = 0; i < rs->FieldCount(); ++i) {
      QString text = FromWindows1252(fields.Next());
      const FieldInfo& field = rs->Fields()[i];
      if (field.autoNumber()) continue;
      if (field.type == FieldType::kText && field.size > 0 && text.size() > field.size) {
        text.truncate(field.size);
      }
      rs->SetValue(i, FieldValueFromText(text, field, scope.locale));
    }
    rs->Update(1, false);
    rs->MoveLast();
    scope.command.Log("Add");
  } catch (...) {
    const CaughtError error = CurrentError();
    if (rs) ShowStoredRecord(*rs);
    DatabaseErrorReply(scope, "ErrorUpdate", "ErrorAdd", error);
  }
}

void DeleteRecord(DatabaseScope& scope) {
  try {
    Recordset& rs = scope.Set();
    GoToSentRecord(scope);
    rs.Delete();
    if (rs.RecordCount() > 0) {
      rs.MovePrevious();
      if (rs.Bof()) rs.MoveNext();
    }
    scope.command.Log("Delete");
  } catch (...) {
    DatabaseErrorReply(scope, "ErrorUpdate", "ErrorDelete", CurrentError());
  }
}

}  // namespace corvane
