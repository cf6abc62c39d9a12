#pragma once

#include "commands/command_context.h"
#include "protocol/command_descriptor.h"

namespace corvane {

// What a command does: it works on the slot's state and adds its replies and events to the
// context's output.
using CommandHandler = void (*)(CommandContext&);

CommandHandler HandlerOf(Command command);

}  // namespace corvane
