#include "commands/logon.h"

#include <cmath>

#include "base/windows1252.h"
#include "config/store_scramble.h"
#include "protocol/command_error.h"

namespace corvane {
namespace {

// One character at a time, so the text keeps its length.
QByteArray UpperCase(const QByteArray& text) {
  QString wide = FromWindows1252(text);
  for (QChar& c : wide) c = c.toUpper();
  return ToWindows1252(wide);
}

// Blanks only, as tabs and other white space belong to the password.
QByteArray TrimBlanks(const QByteArray& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  return text.mid(begin, end - begin);
}

// A stored key converts like any number text: rounded, and within 32 bits.
int32_t PrivateKeyNumber(const QByteArray& text) {
  bool ok = false;
  const double value = TrimBlanks(text).toDouble(&ok);
  if (!ok) throw CommandError::TypeMismatch();
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) throw CommandError::Overflow();
  return static_cast<int32_t>(rounded);
}

}  // namespace

LogonOutcome CheckLogon(CommandContext& ctx) {
  SlotSession& session = ctx.session();
  FieldReader& fields = ctx.fields();
  const QByteArray user = ToWindows1252(fields.Next());
  const QByteArray password = ToWindows1252(fields.Next());
  session.SlotRemoteAddress = fields.Next();

  const std::optional<QByteArray> record = ctx.services().users.ReadLogonRecord(UpperCase(user));
  if (!record) return {false, "UserDenied"};
  const QByteArray storedPassword = BeforeColon(*record);
  session.SlotKey = PrivateKeyNumber(AfterColon(*record));

  const QString userName = FromWindows1252(user);
  // The slot's own name does not count: a client logging on again on its connection is not
  // a second logon.
  if (SettingValue(ctx.services().settings.AllowMultipleLogons) == 0 &&
      ctx.services().slots.UserNameInUse(userName, ctx.slot().number())) {
    return {false, "MultipleUsers"};
  }
  session.SlotUserName = userName;
  if (UpperCase(TrimBlanks(password)) != UpperCase(storedPassword)) return {false, "PassDenied"};
  ctx.slot().ShowInUsersList();
  return {true, {}};
}

QByteArray IssueSessionKey(SlotSession& session, const ServerSettings& settings, int16_t keySeed) {
  if (settings.EncryptionEnabled != 0) {
    session.SessionKey = keySeed;
    return QByteArray::number(keySeed).rightJustified(3, '0');
  }
  session.SessionKey = 0;
  return "000";
}

void RunLogonCommand(CommandContext& ctx) {
  const LogonOutcome outcome = CheckLogon(ctx);
  SlotSession& session = ctx.session();
  Reply reply{outcome.denialCode, {}, true};
  if (outcome.accepted) {
    session.LogonAccepted = true;
    reply.word = "Accepted";
    reply.fields.append(QString::fromLatin1(
        IssueSessionKey(session, ctx.services().settings, ctx.services().keySeed)));
    ctx.Log("Logon");
  } else {
    // A refused logon ends whatever logon the connection held before.
    session.LogonAccepted = false;
    ctx.Log(outcome.denialCode);
  }
  ctx.Send(std::move(reply));
}

}  // namespace corvane
