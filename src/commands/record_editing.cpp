#include "commands/record_editing.h"

#include <QStringList>
#include <optional>

#include "base/windows1252.h"
#include "commands/value_text.h"
#include "engine/engine_error.h"

namespace corvane {
namespace {

// How much of a replaced text a note quotes: a client's value may be long.
constexpr qsizetype kNotedValueLength = 60;

// The values of one request that did not read as their fields' types and were replaced, so
// that the operator sees a client that writes values in formats the server does not read.
class ReplacedValues {
 public:
  void Add(const FieldInfo& field, const QString& text) {
    QString shown = text.left(kNotedValueLength);
    if (text.size() > kNotedValueLength) shown += QStringLiteral("...");
    const QString stored = field.type == FieldType::kDateTime
                               ? QStringLiteral("the current date and time")
                               : QStringLiteral("0");
    parts_.append(QStringLiteral("%1 \"%2\" stored as %3").arg(field.name, shown, stored));
  }
  // One note for the whole request.
  void Report(CommandContext& ctx, const QString& command) const {
    if (parts_.isEmpty()) return;
    ctx.Note(QStringLiteral("%1 of %2: values not in the server's formats were replaced: %3")
                 .arg(command, ctx.session().SlotObjectName, parts_.join(QStringLiteral("; "))));
  }

 private:
  QStringList parts_;
};

// A value holding NUL, which server databases cannot keep in a text, or STX, ETX or EOT,
// which structure the messages and could never be shown again as stored, is refused whole
// rather than stored cut or changed.
void RefuseUnstorable(const FieldInfo& field, const QString& text) {
  for (const QChar c : text) {
    const char16_t code = c.unicode();
    if (code == 0 || (code >= 0x02 && code <= 0x04)) {
      throw EngineError(engine_error::kInvalidArgument,
                        QStringLiteral("The value for field %1 holds a control character (NUL, "
                                       "STX, ETX or EOT) that cannot be stored; nothing was "
                                       "saved.")
                            .arg(field.name));
    }
  }
}

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

// Assigns field i the value of a client's text; a text that is ignored (a type the server
// does not write) is not checked.
void SetFromText(Recordset& rs, int i, const QString& text, const QLocale& locale,
                 ReplacedValues& replaced) {
  const FieldInfo& field = rs.Fields()[i];
  bool unread = false;
  const Variant value = FieldValueFromText(text, field, locale, &unread);
  if (!value.isEmpty()) RefuseUnstorable(field, text);
  rs.SetValue(i, value);
  if (unread) replaced.Add(field, text);
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
    // characters the client could only be shown as '?' (outside Windows-1252, or bytes its
    // transport cannot carry) are not replaced by '?'.
    const QByteArray& uncarried = ctx.session().UncarriedBytes;
    std::vector<std::optional<QString>> shown(rs.FieldCount());
    for (int i = 0; i < rs.FieldCount(); ++i) {
      try {
        shown[i] =
            Windows1252Form(FieldValueText(rs.Value(i), rs.Fields()[i], ctx.formats()), uncarried);
      } catch (const std::exception&) {
      }
    }
    rs.Edit();
    FieldReader& fields = ctx.fields();
    ReplacedValues replaced;
    for (int i = 0; i < rs.FieldCount(); ++i) {
      const QString text = fields.Next();
      const FieldInfo& field = rs.Fields()[i];
      if (field.autoNumber() || (shown[i] && *shown[i] == text)) continue;
      SetFromText(rs, i, text, ctx.locale(), replaced);
    }
    rs.Update();
    ctx.Log("Update");
    replaced.Report(ctx, QStringLiteral("Update"));
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
    ReplacedValues replaced;
    for (int i = 0; i < rs->FieldCount(); ++i) {
      QString text = fields.Next();
      const FieldInfo& field = rs->Fields()[i];
      if (field.autoNumber()) continue;
      if (field.type == FieldType::kText && field.size > 0 && text.size() > field.size) {
        text.truncate(field.size);
      }
      SetFromText(*rs, i, text, ctx.locale(), replaced);
    }
    rs->Update();
    rs->MoveLast();
    ctx.Log("Add");
    replaced.Report(ctx, QStringLiteral("Add"));
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
