#include "commands/record_replies.h"

#include "commands/value_text.h"
#include "wire/message_fields.h"
#include "base/windows1252.h"

namespace corvane {
namespace {

// The value texts of the current record, each followed by EOT; empty values for an empty
// set. Remembers the record as sent.
QByteArray ValueFields(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  QByteArray text;
  if (rs.RecordCount() == 0) {
    for (int i = 0; i < rs.FieldCount(); ++i) text += AddField({});
    scope.slot.ForgetSent();
    return text;
  }
  std::vector<Variant> values;
  values.reserve(rs.FieldCount());
  for (int i = 0; i < rs.FieldCount(); ++i) {
    values.push_back(rs.Value(i));
    text += AddField(ToWindows1252(FieldValueText(values.back(), rs.Fields()[i], scope.formats)));
  }
  scope.slot.RememberSent(rs.AbsolutePosition(), std::move(values));
  return text;
}

}  // namespace

QByteArray FieldListReply(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  QByteArray text = LeadField("Fields") + AddField(RecordCountText(rs).toLatin1());
  for (const FieldInfo& field : rs.Fields()) text += AddField(ToWindows1252(field.name));
  return scope.command.Frame(text);
}

QByteArray RecordDataReply(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  const QByteArray number = CurrentRecordNumber(rs).toLatin1();
  return scope.command.Frame(LeadField("Data") + AddField(number) + ValueFields(scope));
}

QByteArray QueryDataReply(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  QByteArray text = LeadField("QueryData");
  if (rs.RecordCount() == 0) {
    for (int i = 0; i < rs.FieldCount(); ++i) text += AddField({});
  } else {
    for (int i = 0; i < rs.FieldCount(); ++i) {
      text += AddField(ToWindows1252(FieldValueText(rs.Value(i), rs.Fields()[i], scope.formats)));
    }
  }
  const QByteArray reply = scope.command.Frame(text);
  rs.MoveNext();
  return reply;
}

QByteArray FoundReply(DatabaseScope& scope, int16_t fieldNumber) {
  Recordset& rs = scope.Set();
  const QByteArray number = CurrentRecordNumber(rs).toLatin1();
  return scope.command.Frame(LeadField("Found") + AddField(QByteArray::number(fieldNumber)) +
                             AddField(number) + ValueFields(scope));
}

bool BrowseFirst(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  if (rs.RecordCount() == 0) {
    scope.command.Reply("BOF");
    return false;
  }
  rs.MoveFirst();
  scope.command.Send(RecordDataReply(scope));
  return true;
}

bool BrowseLast(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  if (rs.RecordCount() == 0) {
    scope.command.Reply("EOF");
    return false;
  }
  rs.MoveLast();
  scope.command.Send(RecordDataReply(scope));
  return true;
}

bool BrowseNext(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  if (rs.RecordCount() == 0) {
    scope.command.Reply("EOF");
    return false;
  }
  rs.MoveNext();
  if (rs.Eof()) {
    scope.command.Reply("EOF");
    rs.MoveLast();
    return false;
  }
  scope.command.Send(RecordDataReply(scope));
  return true;
}

bool BrowsePrevious(DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  if (rs.RecordCount() == 0) {
    scope.command.Reply("BOF");
    return false;
  }
  rs.MovePrevious();
  if (rs.Bof()) {
    scope.command.Reply("BOF");
    rs.MoveFirst();
    return false;
  }
  scope.command.Send(RecordDataReply(scope));
  return true;
}

}  // namespace corvane
