#pragma once

#include <cstdint>

#include "commands/command_context.h"

namespace corvane {

enum class OpenMode { kTable = 0, kQuery = 1 };

// Opens table or saved query t of published database d (both read from the request) as
// the slot's set, replacing what the slot had open. False when the client was answered
// "NoDatabase" (the slot keeps what it had) or "ErrorDB" (the slot's texts are cleared).
bool OpenTableOrQuery(CommandContext& ctx, OpenMode mode);

// Opens published database d for the query wizard, without a set of records.
bool OpenWizardDatabase(int16_t d, CommandContext& ctx);

}  // namespace corvane
