#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

#include "commands/command_context.h"

namespace corvane {

// "FindFirst" / "FindNext" (mode and search text read from the request): the first field,
// in field order, whose value begins with the text (then: ends with it; mode 1: matches it
// whole), searched from the start of the set or forward from the current record. Sends
// "Found", "NoMatch" or "ErrorUpdate".
void FindFirstMatch(CommandContext& ctx);
void FindNextMatch(CommandContext& ctx);

// The plain scan of the value texts from the current record on, used when the engine
// cannot evaluate a criterion: mode 1 whole value, other modes anywhere in the value.
// The "Found" reply, or nothing (the cursor back where the scan began).
std::optional<Reply> ScanForText(const QString& text, int16_t mode, CommandContext& ctx);

// "Sort": replaces the slot's set by the opened table or query ordered by `sortText`.
void SortRecords(const QString& sortText, CommandContext& ctx);

}  // namespace corvane
