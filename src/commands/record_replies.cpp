#include "commands/record_replies.h"

#include "commands/value_text.h"

namespace corvane {
namespace {

// The value texts of the current record after `head`; empty values for an empty set.
// Remembers the record as sent.
Reply ValueReply(CommandContext& ctx, QByteArray word, QStringList head) {
  Recordset& rs = ctx.Set();
  Reply reply{std::move(word), std::move(head), false};
  const int count = rs.FieldCount();
  reply.fields.reserve(reply.fields.size() + count);
  if (rs.RecordCount() == 0) {
    for (int i = 0; i < count; ++i) reply.fields.append(QString());
    ctx.database().ForgetSent();
    return reply;
  }
  std::vector<Variant> values;
  values.reserve(count);
  for (int i = 0; i < count; ++i) {
    values.push_back(rs.Value(i));
    reply.fields.append(FieldValueText(values.back(), rs.Fields()[i], ctx.formats()));
  }
  ctx.database().RememberSent(rs.AbsolutePosition(), std::move(values));
  return reply;
}

}  // namespace

Reply FieldListReply(CommandContext& ctx) {
  Recordset& rs = ctx.Set();
  Reply reply{"Fields", {RecordCountText(rs)}, false};
  for (const FieldInfo& field : rs.Fields()) reply.fields.append(field.name);
  return reply;
}

Reply RecordDataReply(CommandContext& ctx) {
  return ValueReply(ctx, "Data", {CurrentRecordNumber(ctx.Set())});
}

Reply QueryDataReply(CommandContext& ctx) {
  Recordset& rs = ctx.Set();
  Reply reply{"QueryData", {}, false};
  if (rs.RecordCount() == 0) {
    for (int i = 0; i < rs.FieldCount(); ++i) reply.fields.append(QString());
  } else {
    for (int i = 0; i < rs.FieldCount(); ++i) {
      reply.fields.append(FieldValueText(rs.Value(i), rs.Fields()[i], ctx.formats()));
    }
  }
  rs.MoveNext();
  return reply;
}

Reply FoundReply(CommandContext& ctx, int16_t fieldNumber) {
  return ValueReply(ctx, "Found", {QString::number(fieldNumber), CurrentRecordNumber(ctx.Set())});
}

bool BrowseFirst(CommandContext& ctx) {
  Recordset& rs = ctx.Set();
  if (rs.RecordCount() == 0) {
    ctx.SendWord("BOF");
    return false;
  }
  rs.MoveFirst();
  ctx.Send(RecordDataReply(ctx));
  return true;
}

bool BrowseLast(CommandContext& ctx) {
  Recordset& rs = ctx.Set();
  if (rs.RecordCount() == 0) {
    ctx.SendWord("EOF");
    return false;
  }
  rs.MoveLast();
  ctx.Send(RecordDataReply(ctx));
  return true;
}

bool BrowseNext(CommandContext& ctx) {
  Recordset& rs = ctx.Set();
  if (rs.RecordCount() == 0) {
    ctx.SendWord("EOF");
    return false;
  }
  rs.MoveNext();
  if (rs.Eof()) {
    ctx.SendWord("EOF");
    rs.MoveLast();
    return false;
  }
  ctx.Send(RecordDataReply(ctx));
  return true;
}

bool BrowsePrevious(CommandContext& ctx) {
  Recordset& rs = ctx.Set();
  if (rs.RecordCount() == 0) {
    ctx.SendWord("BOF");
    return false;
  }
  rs.MovePrevious();
  if (rs.Bof()) {
    ctx.SendWord("BOF");
    rs.MoveFirst();
    return false;
  }
  ctx.Send(RecordDataReply(ctx));
  return true;
}

}  // namespace corvane
