#include "commands/database_scope.h"

#include "engine/engine_error.h"
#include "protocol/command_error.h"
#include "wire/message_fields.h"
#include "base/windows1252.h"

namespace corvane {

CaughtError CurrentError() {
  try {
    throw;
  } catch (const EngineError& e) {
    return {e.number(), e.description()};
  } catch (const CommandError& e) {
    return {e.number(), e.description()};
  } catch (const std::exception& e) {
    return {51, QString::fromLocal8Bit(e.what())};
  }
}

void DatabaseErrorReply(DatabaseScope& scope, const QByteArray& replyWord,
                        const QByteArray& eventWord, const CaughtError& error) {
  CommandContext& ctx = scope.command;
  ctx.Send(ctx.Frame(LeadField(replyWord) + AddField(ToWindows1252(error.description))));
  ctx.services().sessions.SetLastError(error.number, error.description);
  ctx.Log(eventWord);
}

}  // namespace corvane
