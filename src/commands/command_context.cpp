#include "commands/command_context.h"

#include "engine/engine_error.h"
#include "protocol/command_error.h"

namespace corvane {

CaughtError CurrentError() {
  try {
    throw;
  } catch (const EngineError& e) {
    return {e.number(), e.description()};
  } catch (const CommandError& e) {
    return {e.number(), e.description()};
  } catch (const std::exception& e) {
    return {CommandError::kInternalError, QString::fromLocal8Bit(e.what())};
  }
}

void CommandContext::LogError(const QByteArray& code, const CaughtError& error) {
  ActivityEntry entry = SlotActivity(slot_, code);
  entry.errorNumber = error.number;
  entry.errorText = error.description;
  out_.events.push_back(std::move(entry));
}

void CommandContext::ErrorReply(const QByteArray& replyWord, const QByteArray& eventWord,
                                const CaughtError& error) {
  Send(Reply{replyWord, {error.description}, false});
  LogError(eventWord, error);
}

}  // namespace corvane
