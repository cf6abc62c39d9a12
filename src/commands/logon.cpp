#include "commands/logon.h"

#include "protocol/command_error.h"
#include "users/user_rules.h"

namespace corvane {
namespace {

// The reply word of each outcome, which is also the event of a refusal.
QByteArray LogonReplyWord(LogonOutcome outcome) {
  switch (outcome) {
    case LogonOutcome::kAccepted:
      return "Accepted";
    case LogonOutcome::kUserDenied:
      return "UserDenied";
    case LogonOutcome::kPassDenied:
      return "PassDenied";
    case LogonOutcome::kMultipleUsers:
      return "MultipleUsers";
  }
  return {};
}

}  // namespace

LogonOutcome CheckLogon(CommandContext& ctx) {
  SlotSession& session = ctx.session();
  FieldReader& fields = ctx.fields();
  const QString user = fields.Next();
  const QString password = fields.Next();
  session.SlotRemoteAddress = fields.Next();

  const std::optional<LogonRecord> record = ctx.services().users.FindLogonUser(user);
  if (!record) return LogonOutcome::kUserDenied;
  // A stored key converts like any number text: rounded, and within 32 bits.
  switch (record->key.fault) {
    case KeyNumberFault::kNotANumber:
      throw CommandError::TypeMismatch();
    case KeyNumberFault::kOutOfRange:
      throw CommandError::Overflow();
    case KeyNumberFault::kNone:
      break;
  }
  session.SlotKey = record->key.value;

  // The slot's own name does not count: a client logging on again on its connection is not
  // a second logon.
  if (SettingValue(ctx.services().settings.AllowMultipleLogons) == 0 &&
      ctx.services().slots.UserNameInUse(user, ctx.number())) {
    return LogonOutcome::kMultipleUsers;
  }
  session.SlotUserName = user;
  if (!PasswordMatches(password, record->password)) return LogonOutcome::kPassDenied;
  return LogonOutcome::kAccepted;
}

QByteArray IssueSessionKey(SlotSession& session, const ServerSettings& settings, int16_t keySeed) {
  // Only 1 means on, as for the frames: any other value handing out a key would have the
  // client encipher what the server reads as plain.
  if (settings.EncryptionEnabled == 1) {
    session.SessionKey = keySeed;
    return QByteArray::number(keySeed).rightJustified(3, '0');
  }
  session.SessionKey = 0;
  return "000";
}

void RunLogonCommand(CommandContext& ctx) {
  const LogonOutcome outcome = CheckLogon(ctx);
  SlotSession& session = ctx.session();
  Reply reply{LogonReplyWord(outcome), {}, true, outcome};
  if (outcome == LogonOutcome::kAccepted) {
    session.LogonAccepted = true;
    reply.fields.append(QString::fromLatin1(
        IssueSessionKey(session, ctx.services().settings, ctx.services().keySeed)));
    ctx.Log("Logon");
  } else {
    // A refused logon ends whatever logon the connection held before. Its row names the
    // user tried; then the name leaves the slot, which is let go like one that never logged
    // on: a name kept there would lock its real user out while multiple logons are off.
    session.LogonAccepted = false;
    ctx.Log(reply.word);
    session.SlotUserName.clear();
  }
  ctx.Send(std::move(reply));
}

}  // namespace corvane
